#pragma once
// Paths of the driver's own keys below HKEY_LOCAL_MACHINE, built by plain
// concatenation of the product constants: nothing quoted, trimmed or
// case-converted.
#include <string>

// "Software\ZARO\Audio\Drivers\{5B0E27A4-...}": the driver's settings key.
std::wstring DriverSettingsKeyPath();
// "SettingsBackup_{5B0E27A4-...}": the backup key's name below the driver root.
std::wstring SettingsBackupKeyName();
// The driver root, "\", and the backup key name: a sibling of the settings key.
std::wstring SettingsBackupKeyPath();
