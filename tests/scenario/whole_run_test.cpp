// Whole runs of the launcher, each one a story a deployment would recognise:
// one launcher process in a prefix whose state the test prepares and then
// inspects. Built twice: the x86_64 build runs under wine64, the shipped i686
// build runs as a 32-bit process under WOW64, where the driver's keys live in
// the 32-bit registry view and the Uninstall list is read in the 64-bit view,
// and on 32-bit Windows (a win32 prefix), where there is one view only.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "framework/wow64_query.h"
#include "launcher/product_constants.h"
#include "settings/driver_keys.h"
#include "tests/support/raw_registry.h"
#include "tests/support/registry_snapshot.h"
#include "tests/support/running_driver.h"
#include "tests/support/test_machine.h"
#include "tests/support/test_support.h"
#include "tests/support/value_records.h"
#include "tests/support/whole_run.h"

namespace {

using namespace testing_support;

// The test program has the launcher's bitness, so its default registry view
// is the launcher's: the driver's keys are read and written there.
#if defined(_WIN64)
const REGSAM kOtherView = KEY_WOW64_32KEY;
const wchar_t kSnapshotView[] = L"64";
#else
const REGSAM kOtherView = KEY_WOW64_64KEY;
const wchar_t kSnapshotView[] = L"32";
#endif

bool UnderWow64()
{
    BOOL wow64 = FALSE;
    return QueryWow64(&wow64) && wow64;
}

// The 32-bit build outside WOW64: 32-bit Windows, where no 64-bit program or
// package runs and both view flags name the one registry view.
bool OnWin32()
{
    return sizeof(void*) == 4 && !UnderWow64();
}

// Where the tray-helper stand-ins and the test service come from: the 64-bit
// ones where a test of the 32-bit build under WOW64 is given them, as on a
// real 64-bit machine; else the test program's own folder.
std::wstring HelperFolder()
{
    return OnWin32() ? L"" : ORBELLE_HELPER_BIN;
}

// The launchers and packages of a scenario. On 32-bit Windows the launcher
// carries this build's 32-bit stand-ins and installs a 32-bit package
// ("scenario_launcher_win32", "scenario-win32-...").
std::wstring ScenarioLauncher(const std::wstring& name)
{
    return OnWin32() ? name + L"_win32" : name;
}

std::wstring ScenarioPackage(const std::wstring& name)
{
    return (OnWin32() ? L"scenario-win32-" : L"scenario-") + name;
}

std::wstring Bin(const std::wstring& name)
{
    return BinDir() + L"\\" + name;
}

std::wstring InstallersFolder()
{
    return MakerFolder() + L"\\Installers\\Orbelle";
}

// The Uninstall entry that Windows Installer wrote for a product (64-bit
// packages register in the 64-bit view).
std::wstring UninstallEntry(const std::wstring& productCode)
{
    return std::wstring(product::kUninstallList) + L"\\" + productCode;
}

// Either of the launcher's package resources is removed at the end (on
// 32-bit Windows only the 32-bit one can be installed).
void AdoptCarried(TestMachine& machine)
{
    machine.Adopt(Bin(ScenarioPackage(L"observed-msi32.msi")));
    if (!OnWin32())
        machine.Adopt(Bin(L"scenario-observed-msi64.msi"));
}

// The instances of PlantDeviceInstances as the reset leaves them.
void ExpectInstancesReset(const std::wstring& instances)
{
    for (const wchar_t* name : kPlantedInstanceNames) {
        SCOPED_TRACE(testing_support::WideToUtf8(name));
        EXPECT_EQ(kBoolFalseRecord, GetValueRaw(instances + L"\\" + name, L"Initialized").data);
        EXPECT_EQ(kBoolFalseRecord, GetValueRaw(instances + L"\\" + name + L"\\Attached", L"").data);
        EXPECT_EQ(20u, GetValueRaw(instances + L"\\" + name, L"LastDetachTime").data.size());
        EXPECT_EQ(L"Orbelle USB", GetTextRaw(instances + L"\\" + name, L"FriendlyName"));
    }
}

// Every launcher run of these scenarios: besides the stand-ins' log and the
// tmp folder (WholeRun), the observer's snapshot of the driver's registry
// while the package installs, and time for the 32-bit build: where 32-bit
// code is emulated, one of its runs is up to six 32-bit process starts (the
// launcher and its five children) of a minute or more each.
class ScenarioRun : public WholeRun {
  public:
    ScenarioRun()
    {
        Set(L"STANDIN_SNAPSHOT_observer", snapshot);
        Set(L"STANDIN_SNAPSHOT_VIEW", kSnapshotView);
        SetTimeout(sizeof(void*) == 4 ? 3600000 : 600000);
    }

    const std::wstring snapshot = folder() / L"during-install.txt";
};

// The full paths of every key named `name` (in any letter case) below `key`,
// in the process's default view; keys that cannot be opened are skipped.
void FindKeysNamed(HKEY key, const std::wstring& path, const std::wstring& name, std::vector<std::wstring>& found)
{
    wchar_t child[256];
    for (DWORD index = 0;; ++index) {
        DWORD length = 256;
        if (RegEnumKeyExW(key, index, child, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        const std::wstring childPath = path + L"\\" + child;
        if (_wcsicmp(child, name.c_str()) == 0)
            found.push_back(childPath);
        HKEY opened = nullptr;
        if (RegOpenKeyExW(key, child, 0, KEY_READ, &opened) == ERROR_SUCCESS) {
            const UniqueHkey sub(opened);
            FindKeysNamed(sub.get(), childPath, name, found);
        }
    }
}

// Every WOW6432Node key of the machine's and the user's registry.
std::vector<std::wstring> Wow6432NodeKeys()
{
    std::vector<std::wstring> found;
    FindKeysNamed(HKEY_LOCAL_MACHINE, L"HKLM", L"WOW6432Node", found);
    FindKeysNamed(HKEY_CURRENT_USER, L"HKCU", L"WOW6432Node", found);
    return found;
}

// The typical unattended deployment: "OrbelleSetup.exe -quiet" on a machine
// where release 1.0.13 is installed and has recorded two device instances,
// and where the installed driver is at work. SetUp arranges the machine; the
// test runs the launcher once and then checks, one behaviour a function, what
// the run did.
class TypicalRun : public ::testing::Test {
  protected:
    void SetUp() override
    {
        // 32-bit Windows has one registry view and no key to redirect into.
        if (OnWin32()) {
            ASSERT_EQ(std::vector<std::wstring>{}, Wow6432NodeKeys());
        }
        ASSERT_TRUE(m_machine.Install(Bin(ScenarioPackage(L"old-1.0.13.msi"))))
            << "the earlier release did not install";
        AdoptCarried(m_machine);
        m_oldProductCode = GetTextRaw(m_settings, L"ProductCode");
        ASSERT_FALSE(m_oldProductCode.empty()) << "the earlier release recorded no product code";
        ASSERT_TRUE(SetValueRaw(m_settings, L"Volume", REG_DWORD, Bytes({0x40, 0, 0, 0})));
        ASSERT_TRUE(PlantDeviceInstances(m_instances));
        // A key of the backup's name in the other registry view must survive:
        // the backup is removed in the launcher's own view only. (On 32-bit
        // Windows there is no other view: the flag names the only one.)
        if (!OnWin32()) {
            ASSERT_TRUE(SetTextRaw(SettingsBackupKeyPath(), L"Decoy", L"other view", kOtherView));
        }
        // The installed driver is running: two tray helpers of one name, one
        // of the other, a program whose name differs only in case, and the
        // device monitor service, which records what it receives in the
        // run's log.
        ASSERT_TRUE(m_driver.StartHelpers());
        ASSERT_TRUE(m_driver.StartService(m_run.log()));
        // The redistributables and the legacy uninstaller unpack into their
        // temporary folder, as self-extractors do, and leave it all behind.
        for (const wchar_t* payload : {L"vcredist_x86", L"vcredist_x64", L"kv_isu"})
            m_run.Set(std::wstring(L"STANDIN_UNPACK_") + payload, L"1");
    }

    // The programs the run starts, in order: the prerequisites and the legacy
    // uninstaller, the service's record of code 128 (it comes before the
    // installation starts), then the package installation (the observer runs
    // inside it).
    static std::vector<std::wstring> ExpectedChildren()
    {
        std::vector<std::wstring> expected = {L"vcredist_x86.exe"};
        if (UnderWow64())
            expected.push_back(L"vcredist_x64.exe");
        expected.push_back(L"kv_isu.exe");
        expected.push_back(product::kDeviceMonitorService);
        expected.push_back(L"observer.exe");
        return expected;
    }

    // Each child (ExpectedChildren()) had its exact arguments.
    static void ExpectTheChildrensArguments(const std::vector<StandinRecord>& children)
    {
        EXPECT_EQ(product::kArgsRedist32, children[0].arguments);
        if (UnderWow64()) {
            EXPECT_EQ(product::kArgsRedist64, children[1].arguments);
        }
        const auto& uninstaller = children[children.size() - 3];
        EXPECT_EQ(L"", uninstaller.arguments);
        EXPECT_EQ(L"128", children[children.size() - 2].arguments);
        EXPECT_EQ(L"installing", children.back().arguments);
    }

    // Every payload program started in the run's one work folder, directly in
    // the launcher's temporary folder, and saw that folder's protected "tmp"
    // folder as TMP and TEMP (and so unpacked there, not in the temporary
    // folder that others can write to).
    void ExpectThePayloadsInTheWorkFolder(const std::vector<StandinRecord>& children) const
    {
        const std::wstring workFolder = children[0].directory;
        EXPECT_EQ(m_run.tmp() + L"\\", workFolder.substr(0, m_run.tmp().size() + 1));
        for (size_t i = 0; i + 2 < children.size(); ++i) {
            SCOPED_TRACE(WideToUtf8(children[i].program));
            EXPECT_EQ(workFolder, children[i].directory);
            EXPECT_EQ(workFolder + L"\\tmp", children[i].tmp);
            EXPECT_EQ(workFolder + L"\\tmp", children[i].temp);
        }
    }

    // The tray helpers were ended with exit code 0; the look-alike runs on,
    // and so does the service: the launcher neither stops nor starts it.
    void ExpectTheHelpersEndedAndTheServiceSignalled() const
    {
        EXPECT_EQ((std::vector<DWORD>{0, 0, 0}), m_driver.HelperExitCodes());
        EXPECT_TRUE(m_driver.LookalikeRunning());
        EXPECT_EQ(static_cast<DWORD>(SERVICE_RUNNING), m_driver.service().State());
        EXPECT_EQ(std::vector<DWORD>{128}, m_driver.service().RecordedControls());
    }

    // While the package installed, the settings had a copy beside them: the
    // settings as they were before the installation, reset state included.
    // (The observer runs at the end of the installation, when the package has
    // already recorded its own product code in the settings.) Afterwards the
    // copy is gone, and only in the launcher's own view.
    void ExpectTheBackupOnlyWhileThePackageInstalled() const
    {
        KeySnapshot during = ParseSnapshot(ReadUtf8File(m_run.snapshot));
        const std::wstring guid = product::kDriverGuid;
        KeySnapshot settingsDuring = during.subkeys[guid];
        KeySnapshot backupDuring = during.subkeys[std::wstring(product::kSettingsBackupPrefix) + guid];
        ASSERT_TRUE(settingsDuring.exists) << "the observer saw no settings key";
        EXPECT_EQ(TextValue(m_oldProductCode), backupDuring.values[L"ProductCode"]);
        settingsDuring.values.erase(L"ProductCode");
        backupDuring.values.erase(L"ProductCode");
        EXPECT_EQ(settingsDuring, backupDuring);
        EXPECT_FALSE(KeyPresent(SettingsBackupKeyPath()));
        if (!OnWin32()) {
            EXPECT_EQ(L"other view", GetTextRaw(SettingsBackupKeyPath(), L"Decoy", kOtherView));
        }
    }

    // The new release is installed by the real Windows Installer: "MSI64"
    // under WOW64, "MSI32" otherwise, and the package stays in its folder.
    // Its Uninstall entry is in the 64-bit view, on 32-bit Windows in the
    // only one (the default view of every process there). The user's setting
    // is kept.
    void ExpectTheNewReleaseInstalled() const
    {
        const REGSAM uninstallView = OnWin32() ? 0 : KEY_WOW64_64KEY;
        const std::wstring newProductCode = GetTextRaw(m_settings, L"ProductCode");
        EXPECT_NE(m_oldProductCode, newProductCode);
        EXPECT_EQ(L"1.0.15", GetTextRaw(UninstallEntry(newProductCode), L"DisplayVersion", uninstallView));
        const std::wstring resource = UnderWow64() ? L"MSI64" : L"MSI32";
        EXPECT_EQ(L"Orbelle Scenario Driver 1.0.15 (" + resource + L")",
                  GetTextRaw(UninstallEntry(newProductCode), L"DisplayName", uninstallView));
        EXPECT_EQ(Bytes({0x40, 0, 0, 0}), GetValueRaw(m_settings, L"Volume").data);
        std::vector<std::uint8_t> left, carried;
        ASSERT_TRUE(ReadFileBytes(InstallersFolder() + L"\\ZaroInstaller.msi", left));
        ASSERT_TRUE(ReadFileBytes(
            Bin(UnderWow64() ? L"scenario-observed-msi64.msi" : ScenarioPackage(L"observed-msi32.msi")), carried));
        EXPECT_EQ(carried, left);
    }

    // On 32-bit Windows the earlier release's entry, where its version was
    // read, is as it was, and nothing was redirected anywhere. Elsewhere the
    // 64-bit package registered in the 64-bit Uninstall list only, and
    // looking up the version left no empty entry in the 32-bit one.
    void ExpectTheEarlierEntryUntouched() const
    {
        if (OnWin32()) {
            EXPECT_EQ(L"1.0.13", GetTextRaw(UninstallEntry(m_oldProductCode), L"DisplayVersion"));
            EXPECT_EQ(std::vector<std::wstring>{}, Wow6432NodeKeys());
        } else {
            EXPECT_FALSE(KeyPresent(UninstallEntry(m_oldProductCode), KEY_WOW64_32KEY));
        }
    }

    TestMachine m_machine;
    ScenarioRun m_run;
    RunningDriver m_driver{HelperFolder()};
    const std::wstring m_settings = DriverSettingsKeyPath();
    const std::wstring m_instances = DeviceInstancesKeyPath();
    std::wstring m_oldProductCode;
};

TEST_F(TypicalRun, QuietOnAMachineWithAnOldRelease)
{
    const RunResult result = m_run.Run(ScenarioLauncher(L"scenario_launcher"));
    ASSERT_TRUE(result.started) << "CreateProcess failed with " << result.startError;
    ASSERT_FALSE(result.timedOut);

    EXPECT_EQ(0u, result.exitCode);
    EXPECT_EQ("", result.output) << "no diagnostic line";
    ASSERT_EQ(ExpectedChildren(), result.Programs());
    ExpectTheChildrensArguments(result.children);
    ExpectThePayloadsInTheWorkFolder(result.children);
    ExpectTheHelpersEndedAndTheServiceSignalled();
    // The installed version was read (1.0.13), so the device state was reset
    // before the backup was taken.
    ExpectInstancesReset(m_instances);
    ExpectTheBackupOnlyWhileThePackageInstalled();
    ExpectTheNewReleaseInstalled();
    ExpectTheEarlierEntryUntouched();
    EXPECT_TRUE(result.leftNothing) << "the work folder was left behind";
}

// A prerequisite that fails ends the run before anything of the product is
// touched, and its code is the exit code.
TEST(EdgeRun, FailingRedistributableTouchesNothing)
{
    TestMachine machine;
    const ScenarioRun run;

    const auto result = run.Run(L"scenario_launcher", L"-quiet", {{L"STANDIN_EXIT_vcredist_x86", L"1603"}});
    ASSERT_TRUE(result.started) << "CreateProcess failed with " << result.startError;
    ASSERT_FALSE(result.timedOut);
    EXPECT_EQ(1603u, result.exitCode);
    EXPECT_EQ(std::vector<std::wstring>{L"vcredist_x86.exe"}, result.Programs());
    EXPECT_FALSE(KeyPresent(product::kDriverRoot)) << "the main path ran";
    EXPECT_FALSE(testing_support::PathExists(InstallersFolder())) << "a package was written";
    EXPECT_TRUE(result.leftNothing) << "the work folder was left behind";
}

// A package that Windows Installer rejects: the backup goes all the same, the
// settings are as they were, and Windows Installer's code is the exit code.
TEST(EdgeRun, RejectedPackageReportsWindowsInstallersCode)
{
    TestMachine machine;
    const ScenarioRun run;
    const int rejected = RunMsiexec(L"/i \"" + Bin(L"scenario-corrupt.msi") + L"\" /quiet");
    ASSERT_NE(0, rejected) << "Windows Installer took the corrupt package";

    const std::wstring settings = DriverSettingsKeyPath();
    ASSERT_TRUE(SetValueRaw(settings, L"Volume", REG_DWORD, Bytes({0x40, 0, 0, 0})));
    ASSERT_TRUE(SetTextRaw(settings + L"\\Mixer", L"Name", L"Main"));
    const KeySnapshot before = TakeSnapshot(settings);

    const auto result = run.Run(L"scenario_launcher_rejected");
    ASSERT_TRUE(result.started) << "CreateProcess failed with " << result.startError;
    ASSERT_FALSE(result.timedOut);
    EXPECT_EQ(static_cast<DWORD>(rejected), result.exitCode);
    EXPECT_FALSE(KeyPresent(SettingsBackupKeyPath()));
    EXPECT_EQ(before, TakeSnapshot(settings));
    EXPECT_TRUE(result.leftNothing) << "the work folder was left behind";
}

struct ReleaseCase {
    const wchar_t* package;
    bool reset;
};

void PrintTo(const ReleaseCase& c, std::ostream* os)
{
    *os << testing_support::WideToUtf8(c.package);
}

class InstalledRelease : public ::testing::TestWithParam<ReleaseCase> {};

// Only releases up to 1.0.13 have their recorded device state reset.
TEST_P(InstalledRelease, DecidesTheDeviceReset)
{
    TestMachine machine;
    const ScenarioRun run;
    ASSERT_TRUE(machine.Install(Bin(GetParam().package)));
    AdoptCarried(machine);
    const std::wstring instances = DeviceInstancesKeyPath();
    ASSERT_TRUE(PlantDeviceInstances(instances));
    const KeySnapshot planted = TakeSnapshot(instances);

    const auto result = run.Run(L"scenario_launcher");
    ASSERT_TRUE(result.started) << "CreateProcess failed with " << result.startError;
    ASSERT_FALSE(result.timedOut);
    EXPECT_EQ(0u, result.exitCode);
    if (GetParam().reset)
        ExpectInstancesReset(instances);
    else
        EXPECT_EQ(planted, TakeSnapshot(instances));
}

INSTANTIATE_TEST_SUITE_P(Releases, InstalledRelease,
                         ::testing::Values(ReleaseCase{L"scenario-old-1.0.13.msi", true},
                                           ReleaseCase{L"scenario-old-1.0.14.msi", false},
                                           ReleaseCase{L"scenario-old-2.0.0.msi", false}));

struct LogCase {
    const char* story;
    bool relative; // the log path relative to the launcher's current folder
};

void PrintTo(const LogCase& c, std::ostream* os)
{
    *os << c.story;
}

class MsiargsLog : public ::testing::TestWithParam<LogCase> {};

// A deployment tool asks Windows Installer for a verbose log of its own. A
// relative path means the folder the launcher was started in: Windows
// Installer starts there too, unlike the payload programs.
TEST_P(MsiargsLog, IsWrittenWhereAsked)
{
    TestMachine machine;
    ScenarioRun run;
    AdoptCarried(machine);
    const std::wstring started = run.folder() / L"Downloads";
    ASSERT_TRUE(CreateDirectoryW(started.c_str(), nullptr));
    run.SetCurrentFolder(started);
    const std::wstring msiLog = started + L"\\install log.txt";
    const std::wstring asked = GetParam().relative ? L"install log.txt" : msiLog;

    const auto result = run.Run(L"scenario_launcher", L"-msiargs '/i $MSIPATH /quiet /l*v \"" + asked + L"\"'");
    ASSERT_TRUE(result.started) << "CreateProcess failed with " << result.startError;
    ASSERT_FALSE(result.timedOut);
    EXPECT_EQ(0u, result.exitCode);
    std::vector<std::uint8_t> log;
    ASSERT_TRUE(ReadFileBytes(msiLog, log)) << "no log where it was asked for";
    EXPECT_GT(log.size(), 100u);
}

INSTANTIATE_TEST_SUITE_P(Paths, MsiargsLog,
                         ::testing::Values(LogCase{"a full path", false},
                                           LogCase{"a path relative to the launcher's folder", true}));

} // namespace
