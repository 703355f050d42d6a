// The name of the device's key below the driver's settings key.
#include <gtest/gtest.h>

#include "settings/device_reset.h"

namespace {

TEST(DeviceKeyName, ProductDeviceGivesItsFixedName)
{
    EXPECT_EQ(L"010203047E0B0000C0310000DEADBEEF", FormatDeviceKeyName(ProductDeviceIdentifier()));
}

struct NameCase {
    DeviceIdentifier record;
    const wchar_t* name;
};

class DeviceKeyNameOf : public ::testing::TestWithParam<NameCase> {};

// Bytes in little-endian field order, two upper-case digits each, zeros kept.
TEST_P(DeviceKeyNameOf, WritesEveryByteAsTwoUpperCaseDigits)
{
    EXPECT_EQ(GetParam().name, FormatDeviceKeyName(GetParam().record));
}

INSTANTIATE_TEST_SUITE_P(
    Table, DeviceKeyNameOf,
    ::testing::Values(NameCase{{0, 0, 0, 0}, L"00000000000000000000000000000000"},
                      NameCase{{0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF}, L"FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF"},
                      NameCase{{0x0A0B0C0D, 0xABCDEF01, 0x00000001, 0x10000000}, L"0D0C0B0A01EFCDAB0100000000000010"}));

} // namespace
