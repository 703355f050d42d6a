#include "settings/settings_backup.h"

#include "launcher/product_constants.h"
#include "registry/registry_key.h"
#include "registry/registry_tree.h"
#include "settings/driver_keys.h"

bool BackupDriverSettings()
{
    RegistryKey settings(LocalMachine, DriverSettingsKeyPath(), false);
    if (FAILED(settings.Open(false)))
        return false;
    return SUCCEEDED(CopyTreeTo(settings, SettingsBackupKeyPath()));
}

bool DeleteSettingsBackup()
{
    RegistryKey root(LocalMachine, product::kDriverRoot, false);
    HRESULT status = root.Open(false);
    if (FAILED(status))
        return false;
    if (KeyExists(SettingsBackupKeyPath(), false))
        status = root.DeleteTree(SettingsBackupKeyName());
    return SUCCEEDED(status);
}
