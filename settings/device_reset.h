#pragma once
// The reset of the state that old driver releases recorded for each device
// instance: every instance is marked as detached and not initialised, with the
// moment of the reset as its last detach time.
#include <cstdint>
#include <string>

// Identifies the device model whose instances the driver records. Its 16
// bytes, four little-endian 32-bit fields in this order, name the device's key
// below the driver's settings key.
struct DeviceIdentifier {
    std::uint32_t signature;
    std::uint32_t vendorId;
    std::uint32_t productId;
    std::uint32_t trailer;
};

inline constexpr std::uint32_t kDeviceIdentifierSignature = 0x04030201;
inline constexpr std::uint32_t kDeviceIdentifierTrailer = 0xEFBEADDE;

// The record of this product's device: signature, USB vendor id, USB product
// id, trailer.
DeviceIdentifier ProductDeviceIdentifier();

// The 16 bytes of `record` in little-endian field order, each as two
// upper-case hexadecimal digits: always 32 characters, nothing between them.
// For ProductDeviceIdentifier() this is "010203047E0B0000C0310000DEADBEEF".
std::wstring FormatDeviceKeyName(const DeviceIdentifier& record);

// For every direct subkey of HKLM\<driver root>\<driver GUID>\<device key
// name>\Instances (default registry view), in enumeration order: writes the
// value record of Bool false as the default value of its "Attached" subkey
// (created when missing) and as its "Initialized" value, and the current UTC
// file time, taken afresh per instance, as an Int64 record in its
// "LastDetachTime" value. Nothing else below the instance keys is touched;
// other device keys are not visited. Creates the Instances key, and the keys
// above it, when missing. Reports nothing: a key that cannot be opened or a
// value that cannot be written is skipped and the rest is still done.
// Registry links are never followed: each key from the settings key down is
// opened as itself below the one before it, and a key on the way that is a
// link is not written to (nothing below a link in the settings key's,
// device key's or Instances key's place; an instance that is a link is
// skipped; an "Attached" link gets no value).
void ResetDeviceInstances();
