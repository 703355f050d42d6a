#pragma once
// Every fixed name and number that ties the launcher to its product. Texts are
// used exactly as written: no case conversion, no trimming. Registry paths are
// relative to HKEY_LOCAL_MACHINE.
#include <cstdint>

namespace product {

// Payload resources of the launcher's own module (language 1033).
inline constexpr wchar_t kTypeExe[] = L"EXE";
inline constexpr wchar_t kTypeMsi[] = L"MSI";
inline constexpr wchar_t kResUninst[] = L"UNINST";
inline constexpr wchar_t kResUninst2[] = L"UNINST2";
inline constexpr wchar_t kResRedist32[] = L"VC2005_REDIST_32";
inline constexpr wchar_t kResRedist64[] = L"VC2005_REDIST_64";
inline constexpr wchar_t kResMsi32[] = L"MSI32";
inline constexpr wchar_t kResMsi64[] = L"MSI64";
// The payloads' SHA-256 digests, computed at build time (type RCDATA).
inline constexpr wchar_t kResDigests[] = L"PAYLOAD_DIGESTS";

// File names the payloads are written to.
inline constexpr wchar_t kFileUninst[] = L"kv_isu.exe";
inline constexpr wchar_t kFileUninst2[] = L"kv_isu2.exe";
inline constexpr wchar_t kFileRedist32[] = L"vcredist_x86.exe";
inline constexpr wchar_t kFileRedist64[] = L"vcredist_x64.exe";
inline constexpr wchar_t kFilePackage[] = L"ZaroInstaller.msi";

// The redistributables' own switches for an unattended installation (67
// characters each; the inner quotes belong to the text).
inline constexpr wchar_t kArgsRedist32[] = L"/q:a /c:\"vcredist_x86.exe /q:a /c:\"\"msiexec /i vcredist.msi /qb\"\" \"";
inline constexpr wchar_t kArgsRedist64[] = L"/q:a /c:\"vcredist_x64.exe /q:a /c:\"\"msiexec /i vcredist.msi /qb\"\" \"";
static_assert(sizeof(kArgsRedist32) / sizeof(wchar_t) - 1 == 67, "32-bit redistributable arguments");
static_assert(sizeof(kArgsRedist64) / sizeof(wchar_t) - 1 == 67, "64-bit redistributable arguments");

// Product and device identity.
inline constexpr wchar_t kProductShortName[] = L"Orbelle";
inline constexpr wchar_t kDriverGuid[] = L"{5B0E27A4-C3D1-4F68-A2B9-7E41D06C93F5}";
inline constexpr wchar_t kDeviceMonitorService[] = L"OrbelleAudioDevMon";
inline constexpr const wchar_t* kTrayHelperNames[] = {L"KorvelTaskBarIcon.exe", L"KorvelTaskBarIcon64.exe"};
inline constexpr int kTrayHelperCount = 2;
static_assert(sizeof(kTrayHelperNames) / sizeof(kTrayHelperNames[0]) == kTrayHelperCount, "tray-helper table");
inline constexpr std::uint32_t kUsbVendorId = 0x0B7E;
inline constexpr std::uint32_t kUsbProductId = 0x31C0;

// Earlier products to remove before installing: two parallel lists (native
// 32-bit Windows, WOW64) and one count for both. This product has none; each
// list holds one unused empty entry.
inline constexpr const wchar_t* kPreviousProducts32[] = {L""};
inline constexpr const wchar_t* kPreviousProducts64[] = {L""};
inline constexpr int kPreviousProductCount = 0;

// Registry names.
inline constexpr wchar_t kDriverRoot[] = L"Software\\ZARO\\Audio\\Drivers";
inline constexpr wchar_t kSettingsBackupPrefix[] = L"SettingsBackup_";
inline constexpr wchar_t kProductCodeValue[] = L"ProductCode";
inline constexpr wchar_t kUninstallList[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
inline constexpr wchar_t kDisplayVersionValue[] = L"DisplayVersion";
inline constexpr wchar_t kInstancesKey[] = L"Instances";
inline constexpr wchar_t kAttachedKey[] = L"Attached";
inline constexpr wchar_t kInitializedValue[] = L"Initialized";
inline constexpr wchar_t kLastDetachTimeValue[] = L"LastDetachTime";
inline constexpr wchar_t kDeviceKeyNameFormat[] = L"%02X%02X%02X%02X%02X%02X%02X%02X%02X%02X%02X%02X%02X%02X%02X%02X";
static_assert(sizeof(kDriverRoot) / sizeof(wchar_t) - 1 == 27, "driver root");
static_assert(sizeof(kUninstallList) / sizeof(wchar_t) - 1 == 51, "Uninstall list");

// Folders, programs and arguments.
inline constexpr wchar_t kInstallersFolder[] = L"ZARO\\Installers";
inline constexpr wchar_t kShellVerbOpen[] = L"open";
inline constexpr wchar_t kMsiexec[] = L"msiexec";
inline constexpr wchar_t kRemovalArgsPrefix[] = L"/passive /X ";
inline constexpr wchar_t kPackagePathToken[] = L"$MSIPATH";
inline constexpr wchar_t kServicesDatabase[] = L"ServicesActive";
inline constexpr unsigned long kDeviceMonitorControlCode = 128;

// The named mutex that lets one launcher run at a time on the machine. In the
// global namespace, so that runs from different sessions (a deployment
// service and a signed-in user) also exclude each other.
inline constexpr wchar_t kSingleRunMutex[] = L"Global\\ZARO_Orbelle_Setup_{5B0E27A4-C3D1-4F68-A2B9-7E41D06C93F5}";

// String resources of the optional confirmation box.
inline constexpr unsigned kIdsConfirmText = 500;
inline constexpr unsigned kIdsConfirmCaption = 501;

} // namespace product
