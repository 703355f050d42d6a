#include "settings/device_reset.h"

#include <windows.h>

#include <cwchar>

#include "launcher/product_constants.h"
#include "registry/registry_key.h"
#include "registry/variant.h"
#include "settings/driver_keys.h"

DeviceIdentifier ProductDeviceIdentifier()
{
    return DeviceIdentifier{kDeviceIdentifierSignature, product::kUsbVendorId, product::kUsbProductId,
                            kDeviceIdentifierTrailer};
}

std::wstring FormatDeviceKeyName(const DeviceIdentifier& record)
{
    const std::uint32_t fields[4] = {record.signature, record.vendorId, record.productId, record.trailer};
    unsigned bytes[16] = {};
    for (int f = 0; f < 4; ++f) {
        for (int b = 0; b < 4; ++b)
            bytes[f * 4 + b] = (fields[f] >> (8 * b)) & 0xFFu;
    }
    wchar_t name[256] = {};
    const int length = std::swprintf(name, sizeof(name) / sizeof(name[0]), product::kDeviceKeyNameFormat, bytes[0],
                                     bytes[1], bytes[2], bytes[3], bytes[4], bytes[5], bytes[6], bytes[7], bytes[8],
                                     bytes[9], bytes[10], bytes[11], bytes[12], bytes[13], bytes[14], bytes[15]);
    return length > 0 ? std::wstring(name, static_cast<std::size_t>(length)) : std::wstring();
}

namespace {

std::int64_t CurrentFileTime()
{
    SYSTEMTIME now = {};
    GetSystemTime(&now);
    FILETIME fileTime = {};
    SystemTimeToFileTime(&now, &fileTime);
    const std::uint64_t ticks = (static_cast<std::uint64_t>(fileTime.dwHighDateTime) << 32) | fileTime.dwLowDateTime;
    return static_cast<std::int64_t>(ticks);
}

void ResetInstance(const std::wstring& instancePath)
{
    RegistryKey instance(LocalMachine, instancePath, false);
    instance.Open(false);
    RegistryKey attached(LocalMachine, instancePath + product::kPathSeparator + product::kAttachedKey, false);
    attached.Open(false);
    // Failed opens and writes are skipped: every other value and instance
    // still gets its reset.
    const KV::Variant notSet(false);
    attached.WriteValue(L"", notSet);
    instance.WriteValue(product::kInitializedValue, notSet);
    const KV::Variant detachTime(CurrentFileTime());
    instance.WriteValue(product::kLastDetachTimeValue, detachTime);
    attached.Close();
    instance.Close();
}

} // namespace

void ResetDeviceInstances()
{
    const std::wstring instancesPath = DriverSettingsKeyPath() + product::kPathSeparator +
                                       FormatDeviceKeyName(ProductDeviceIdentifier()) + product::kPathSeparator +
                                       product::kInstancesKey;
    RegistryKey instances(LocalMachine, instancesPath, false);
    instances.Open(false);
    NameList names;
    instances.EnumSubkeys(names);
    for (const std::wstring& name : names)
        ResetInstance(instancesPath + product::kPathSeparator + name);
}
