#pragma once
// The test prefix as the machine a launcher runs on: the driver's keys and the
// maker's folder that whole runs leave behind, Windows Installer and the
// shell's open action for packages replaced by recording stand-ins, device
// instances as an old driver leaves them. These work on the prefix's real
// HKEY_LOCAL_MACHINE and files (another process's registry cannot be
// redirected); every fixture here puts back what it changed, and reports a
// failure to do so to the running test.
//
// Nothing here calls the code under test: key paths come from
// launcher/product_constants.h, the folders the launcher is expected to use
// are written out. Registry paths are relative to HKEY_LOCAL_MACHINE.
#include <windows.h>

#include <string>
#include <vector>

#include "tests/support/raw_registry.h"
#include "tests/support/test_support.h"

namespace testing_support {

// The maker's key, parent of the driver root "Software\ZARO\Audio\Drivers".
inline constexpr wchar_t kMakerKey[] = L"Software\\ZARO";

// The name of the device key of this product's audio interface below the
// driver's settings key (device_key_name_test shows that the launcher
// computes the same), and its "Instances" key.
inline constexpr wchar_t kDeviceKeyName[] = L"010203047E0B0000C0310000DEADBEEF";
std::wstring DeviceInstancesKeyPath();

// <common application data>\ZARO, the maker's folder, which extracting a
// package creates; no trailing backslash.
std::wstring MakerFolder();
// <maker's folder>\Installers\Orbelle\ZaroInstaller.msi, where the launcher
// leaves the package.
std::wstring InstalledPackagePath();

// Deletes HKLM\Software\ZARO in both registry views and the maker's folder
// with everything in them. True when all of it is gone afterwards.
bool RemoveDriverTraces();

// Runs the system's msiexec.exe with `arguments` and returns its exit code,
// or -1 when it did not start or did not end within 20 minutes.
int RunMsiexec(const std::wstring& arguments);

// What a test leaves on the machine goes when the object goes away: the
// packages it installed or let a launcher install (removed with the real
// "msiexec /x <package> /quiet", in the order they were named), then
// RemoveDriverTraces(). Changes nothing when it is created.
class TestMachine {
  public:
    TestMachine() = default;
    ~TestMachine();
    TestMachine(const TestMachine&) = delete;
    TestMachine& operator=(const TestMachine&) = delete;

    // Installs `package` with the real "msiexec /i <package> /quiet", as an
    // earlier run of the setup would have left it; true when msiexec exited
    // with 0. It is removed at the end whatever the result.
    bool Install(const std::wstring& package);
    // Removes `package` at the end too, for one that a launcher installs.
    void Adopt(const std::wstring& package);

  private:
    std::vector<std::wstring> m_packages;
};

// Puts a copy of the stand-in program over the prefix's msiexec.exe in the
// system folder, so that Windows Installer started by its path records its
// start as "msiexec.exe" in STANDIN_LOG and exits with STANDIN_EXIT_msiexec
// (STANDIN_WAIT_msiexec keeps it running); puts the original back when it
// goes away. Wine runs the copy only with WINEDLLOVERRIDES="msiexec.exe=n,b"
// in the Unix environment of the test program (CTest sets it for the
// programs that use this, see their CMakeLists.txt); with it, the original
// builtin still loads once it is back.
class SystemMsiexecStandin {
  public:
    SystemMsiexecStandin();
    ~SystemMsiexecStandin();
    SystemMsiexecStandin(const SystemMsiexecStandin&) = delete;
    SystemMsiexecStandin& operator=(const SystemMsiexecStandin&) = delete;

    // True when the copy is in place; false when the override is missing or
    // a copy failed.
    bool ok() const { return m_ok; }

  private:
    TempDir m_dir;
    std::wstring m_msiexec;
    std::wstring m_backup;
    bool m_ok = false;
};

// Registers `command` as the shell's open action for packages
// (HKCR\Msi.Package\shell\Open\command, default value, REG_SZ; "%1" becomes
// the quoted package path) and puts back the old value exactly, type and
// bytes, when it goes away (or deletes the value when there was none). Wine's
// HKEY_CLASSES_ROOT is HKLM\Software\Classes alone, so this is the machine's
// registration that the launcher opens packages with. The launcher passes the
// class key, and Wine then expands "%*" to the file, not to the parameters
// (docs/WINE.md): a command that records "%*" records the package path.
class OpenActionOverride {
  public:
    explicit OpenActionOverride(const std::wstring& command);
    ~OpenActionOverride();
    OpenActionOverride(const OpenActionOverride&) = delete;
    OpenActionOverride& operator=(const OpenActionOverride&) = delete;

    // True when the command is registered.
    bool ok() const { return m_ok; }

  private:
    bool m_ok = false;
    bool m_hadOld = false;
    DWORD m_oldType = 0;
    Bytes m_old;
};

// Registers `command` for opening packages for the current user only, both
// ways a user can: as the open action of Msi.Package in
// HKCU\Software\Classes, and by pointing HKCU\Software\Classes\.msi at a
// class of the user's own ("Orbelle.UserPackage") with that open action. On
// Windows these win over the machine's registration in HKEY_CLASSES_ROOT
// (Wine does not merge them in at all, docs/WINE.md). Refuses (ok() false,
// nothing written) when the user already has any of these keys; deletes them
// when it goes away.
class PerUserPackageRegistration {
  public:
    explicit PerUserPackageRegistration(const std::wstring& command);
    ~PerUserPackageRegistration();
    PerUserPackageRegistration(const PerUserPackageRegistration&) = delete;
    PerUserPackageRegistration& operator=(const PerUserPackageRegistration&) = delete;

    bool ok() const { return m_ok; }

  private:
    bool m_written = false; // something may have been written: delete it again
    bool m_ok = false;
};

// The device instances that PlantDeviceInstances creates.
inline const wchar_t* const kPlantedInstanceNames[] = {L"USB#1", L"USB#2"};

// Plants the instances of kPlantedInstanceNames below `instancesKey` (default
// view) as an old driver leaves them: "Initialized" and the default value of
// the "Attached" subkey hold the Bool true record, "FriendlyName" is
// "Orbelle USB". False on the first write that fails.
bool PlantDeviceInstances(const std::wstring& instancesKey);

} // namespace testing_support
