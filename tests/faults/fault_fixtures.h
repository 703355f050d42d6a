#pragma once
// What the fault scenarios share: the launchers under test, the driver's
// settings key of the prefix (filled before a run, compared after it, removed
// afterwards), stand-ins for Windows Installer and for the shell's open
// action on packages, and control over running launchers and their children.
//
// Whole launcher runs use the prefix's real HKEY_LOCAL_MACHINE (another
// process's registry cannot be redirected); the fixtures remove the driver's
// keys, the maker's folder (testing_support::RemoveDriverTraces) and anything
// else they touch.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "framework/unique_handle.h"
#include "launcher/product_constants.h"
#include "tests/support/raw_registry.h"
#include "tests/support/registry_snapshot.h"
#include "tests/support/test_machine.h"
#include "tests/support/test_support.h"
#include "tests/support/whole_run.h"

namespace faults {

using testing_support::CountKeys;
using testing_support::CountValues;
using testing_support::DeleteKeyTree;
using testing_support::FindProcesses;
using testing_support::FirstDifference;
using testing_support::InstalledPackagePath;
using testing_support::KeySnapshot;
using testing_support::KillProcesses;
using testing_support::ListNames;
using testing_support::MakerFolder;
using testing_support::TakeSnapshot;
using testing_support::TextValue;
using testing_support::ValueSnapshot;
using testing_support::WaitForRecords;
using testing_support::WideBytes;
using testing_support::WriteSnapshot;

// HKLM paths of the driver, in the default view of the 64-bit test launchers.
std::wstring SettingsKeyPath();
std::wstring BackupKeyPath();

// A settings tree with a value of each common type (a REG_SZ without its
// terminator among them) and nested subkeys.
KeySnapshot SampleSettings();

// Every fault scenario starts from a prefix without the driver's keys and the
// installers folder, fills the settings key with SampleSettings(), and leaves
// neither behind. `m_settings` is the snapshot that must survive the run;
// `m_run` runs the launchers (its folder also holds the stand-in installer's
// programs).
class FaultScenario : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // Fails the test (with the first difference) unless the settings key is
    // byte-identical to `m_settings` and no backup key is left.
    void ExpectSettingsIntact(const char* when);

    testing_support::WholeRun m_run;
    KeySnapshot m_settings;
};

// Puts a recording stand-in in place of the prefix's msiexec.exe and of the
// shell's open action for packages ("package_opener.exe" in `folder`,
// arguments "<quoted package>"), and puts both back afterwards. Wine runs
// the stand-in msiexec only with WINEDLLOVERRIDES="msiexec.exe=n,b" in the
// Unix environment (CMakeLists.txt sets it for this program).
class StandinInstaller {
  public:
    explicit StandinInstaller(const testing_support::TempDir& folder);
    StandinInstaller(const StandinInstaller&) = delete;
    StandinInstaller& operator=(const StandinInstaller&) = delete;
    bool ok() const { return m_ok; }

  private:
    const std::wstring m_opener;
    testing_support::SystemMsiexecStandin m_msiexec;
    testing_support::OpenActionOverride m_openAction;
    bool m_ok = false;
};

// A launcher run of `run` with the stand-in installer that stops inside
// Windows Installer: Start() returns once msiexec runs (the settings backup
// exists then), Finish() lets msiexec end with a code and waits for the
// launcher. The StandinInstaller must be in place. Terminates what is left
// running.
class RunStoppedInInstaller {
  public:
    explicit RunStoppedInInstaller(const testing_support::WholeRun& run) : m_run(run) {}
    ~RunStoppedInInstaller();
    RunStoppedInInstaller(const RunStoppedInInstaller&) = delete;
    RunStoppedInInstaller& operator=(const RunStoppedInInstaller&) = delete;

    // Starts `launcher` with -quiet; true once its msiexec has started.
    bool Start(const wchar_t* launcher);
    // Ends the stand-in msiexec with `installerCode`; returns the launcher's
    // exit code, or 0xFFFFFFFF when it did not end in time.
    DWORD Finish(UINT installerCode);
    // Kills the launcher itself (the stand-in msiexec is killed too, as a
    // machine that stops would end both).
    void KillLauncher();

  private:
    const testing_support::WholeRun& m_run;
    UniqueKernelHandle m_process;
    DWORD m_pid = 0;
};

} // namespace faults
