#include "settings/device_reset.h"

#include <windows.h>

#include <cwchar>

#include "framework/path_text.h"
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
    // The C run time's own formatter (msvcrt.dll): swprintf would be mingw's
    // replacement, about 24 KB of formatting code for sixteen "%02X". The
    // buffer is zeroed and far larger than the 32 characters made, so the
    // result is always terminated.
    const int length = _snwprintf(name, sizeof(name) / sizeof(name[0]) - 1, product::kDeviceKeyNameFormat, bytes[0],
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

// Opens `key`, a direct subkey of `parent`, as itself (creating it when
// missing); false when it is a registry link, which must not be written
// through.
bool OpenOrdinaryBelow(const RegistryKey& parent, RegistryKey& key)
{
    key.OpenBelow(parent, false);
    return !key.IsLink();
}

void ResetInstance(const RegistryKey& instances, const std::wstring& name)
{
    const std::wstring instancePath = instances.path() + kPathSeparator + name;
    RegistryKey instance(LocalMachine, instancePath, false);
    if (!OpenOrdinaryBelow(instances, instance))
        return;
    RegistryKey attached(LocalMachine, instancePath + kPathSeparator + product::kAttachedKey, false);
    const bool attachedIsOrdinary = OpenOrdinaryBelow(instance, attached);
    // Failed opens and writes are skipped: every other value and instance
    // still gets its reset.
    const KV::Variant notSet(false);
    if (attachedIsOrdinary)
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
    // Each key on the way is opened below the one before it, as itself: a
    // registry link anywhere below the settings key (which the driver may let
    // others write) is never written through, so nothing outside the
    // driver's own keys is changed.
    RegistryKey settings(LocalMachine, DriverSettingsKeyPath(), false);
    settings.OpenLinkItself(false);
    if (settings.IsLink())
        return;
    const std::wstring devicePath =
        DriverSettingsKeyPath() + kPathSeparator + FormatDeviceKeyName(ProductDeviceIdentifier());
    RegistryKey device(LocalMachine, devicePath, false);
    RegistryKey instances(LocalMachine, devicePath + kPathSeparator + product::kInstancesKey, false);
    if (!OpenOrdinaryBelow(settings, device) || !OpenOrdinaryBelow(device, instances))
        return;
    NameList names;
    instances.EnumSubkeys(names);
    for (const std::wstring& name : names)
        ResetInstance(instances, name);
}
