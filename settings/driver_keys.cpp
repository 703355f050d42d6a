#include "settings/driver_keys.h"

#include "framework/path_text.h"
#include "launcher/product_constants.h"

std::wstring DriverSettingsKeyPath()
{
    return std::wstring(product::kDriverRoot) + kPathSeparator + product::kDriverGuid;
}

std::wstring SettingsBackupKeyName()
{
    return std::wstring(product::kSettingsBackupPrefix) + product::kDriverGuid;
}

std::wstring SettingsBackupKeyPath()
{
    return std::wstring(product::kDriverRoot) + kPathSeparator + SettingsBackupKeyName();
}
