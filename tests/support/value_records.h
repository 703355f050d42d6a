#pragma once
// Value records as the driver stores them in REG_BINARY values, written out
// byte for byte (the format is described in registry/variant.h): a 12-byte
// header (total length, 0, kind code) and the payload.
#include "tests/support/raw_registry.h"

namespace testing_support {

// The Bool records of true and of false: length 13, kind 1, one payload byte.
inline const Bytes kBoolTrueRecord = {0x0D, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 1};
inline const Bytes kBoolFalseRecord = {0x0D, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0};

// The header of an Int64 record (length 20, kind 3); its eight payload bytes
// follow.
inline const Bytes kInt64RecordHeader = {0x14, 0, 0, 0, 0, 0, 0, 0, 3, 0, 0, 0};

} // namespace testing_support
