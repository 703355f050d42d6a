#include "settings/installed_version.h"

#include <string>

#include "framework/path_text.h"
#include "launcher/product_constants.h"
#include "registry/registry_key.h"
#include "settings/driver_keys.h"
#include "settings/version_string.h"

namespace {

// A value that is missing, unreadable, or of any kind but Text counts as
// absent: a number or a record there is no product code and no version.
bool ReadTextValue(RegistryKey& key, const wchar_t* name, std::wstring& text)
{
    KV::Variant value;
    if (FAILED(key.ReadValue(name, value)) || value.GetType() != KV::Variant::Text)
        return false;
    text.clear();
    value.ToWideString(text);
    return true;
}

} // namespace

bool DetectInstalledVersion(bool isWow64, std::int32_t& major, std::int32_t& minor, std::int32_t& build)
{
    std::wstring productCode;
    {
        RegistryKey settings(LocalMachine, DriverSettingsKeyPath(), false);
        // The driver's own key: a failed open shows up as a failed read.
        settings.Open(false);
        if (!ReadTextValue(settings, product::kProductCodeValue, productCode))
            return false;
    }
    RegistryKey entry(LocalMachine, std::wstring(product::kUninstallList) + kPathSeparator + productCode, isWow64);
    // Read-only: inventory and deployment tools read the Uninstall list, and
    // an empty entry for a product that is gone must not appear there.
    entry.Open(true);
    std::wstring version;
    if (!ReadTextValue(entry, product::kDisplayVersionValue, version))
        return false;
    return ParseVersionString(version, major, minor, build);
}
