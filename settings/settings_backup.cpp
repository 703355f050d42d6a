#include "settings/settings_backup.h"

#include "launcher/product_constants.h"
#include "registry/registry_key.h"
#include "registry/registry_tree.h"
#include "settings/driver_keys.h"

bool BackupDriverSettings()
{
    // A link in the settings key's place would copy whatever it names, a
    // protected key too, into the backup that others may read.
    RegistryKey settings(LocalMachine, DriverSettingsKeyPath(), false);
    if (FAILED(settings.OpenLinkItself(false)) || settings.IsLink())
        return false;
    return SUCCEEDED(CopyTreeTo(settings, SettingsBackupKeyPath()));
}

bool DeleteSettingsBackup()
{
    RegistryKey root(LocalMachine, product::kDriverRoot, false);
    HRESULT status = root.Open(false);
    if (FAILED(status))
        return false;
    // Looked for as itself, so that a link at the backup's name (even one to
    // nothing) is found and deleted as the link.
    RegistryKey backup(LocalMachine, SettingsBackupKeyPath(), false);
    if (SUCCEEDED(backup.OpenBelow(root, true))) {
        backup.Close();
        status = root.DeleteTree(SettingsBackupKeyName());
    }
    return SUCCEEDED(status);
}
