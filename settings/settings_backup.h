#pragma once
// A copy of the driver's settings key kept beside it while the product package
// installs. Nothing in the launcher reads the copy or copies it back: it only
// exists during the installation. All keys are in HKEY_LOCAL_MACHINE, default
// registry view.

// Opens the settings key (DriverSettingsKeyPath), creating it empty when
// missing, and copies its whole tree into the backup key
// (SettingsBackupKeyPath), which is created when missing. A backup key left by
// an earlier run is not emptied first: its values and subkeys that the
// settings key lacks stay, same-named values are replaced. Returns true when
// the copy succeeded; false when the settings key could not be opened or
// created (nothing copied then) or when any value or subkey failed to copy
// (the rest is still copied).
// Registry links are never followed: a link in the settings key's place gives
// false with nothing copied, and the copy leaves out links below it and never
// writes through a link at or below the backup's name (see CopyTreeTo).
bool BackupDriverSettings();

// Deletes the backup key with everything below it. Opens the driver root with
// open-or-create, so it exists afterwards. Returns true when the backup key is
// gone or was never there; false when the driver root could not be opened or
// created, or when part of the backup could not be deleted (what could not be
// removed stays). The settings key is never touched. A registry link at the
// backup's name, or below it, is deleted as the link; what it names stays.
bool DeleteSettingsBackup();
