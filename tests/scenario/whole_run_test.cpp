// Whole runs of the launcher, each one a story a deployment would recognise:
// one launcher process in a prefix whose state the test prepares and then
// inspects. Built twice: the x86_64 build runs under wine64, the shipped i686
// build runs as a 32-bit process under WOW64, where the driver's keys live in
// the 32-bit registry view and the Uninstall list is read in the 64-bit view,
// and on 32-bit Windows (a win32 prefix), where there is one view only.
#include <gtest/gtest.h>

#include <shlobj.h>

#include <string>
#include <vector>

#include "framework/wow64_query.h"
#include "launcher/product_constants.h"
#include "settings/driver_keys.h"
#include "tests/prepare/prepare_fixtures.h"
#include "tests/settings/registry_fixture.h"
#include "tests/support/test_support.h"

namespace {

using namespace settings_test;
using testing_support::BinDir;
using testing_support::Environment;
using testing_support::RawKeyPresent;
using testing_support::RawSetText;
using testing_support::RawText;
using testing_support::ReadFileBytes;
using testing_support::ReadStandinLog;
using testing_support::RunProcess;
using testing_support::TempDir;

const std::vector<std::uint8_t> kBoolFalse = Bytes({0x0D, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0});
const std::vector<std::uint8_t> kBoolTrue = Bytes({0x0D, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 1});
const wchar_t kDeviceKey[] = L"010203047E0B0000C0310000DEADBEEF";

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
    wchar_t buffer[MAX_PATH] = {};
    SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, buffer);
    return std::wstring(buffer) + L"\\ZARO\\Installers\\Orbelle";
}

std::wstring MakerFolder()
{
    wchar_t buffer[MAX_PATH] = {};
    SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, buffer);
    return std::wstring(buffer) + L"\\ZARO";
}

void RawDeleteZaro(REGSAM view)
{
    HKEY software = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software", 0, KEY_ALL_ACCESS | view, &software) != ERROR_SUCCESS)
        return;
    RegDeleteTreeW(software, L"ZARO");
    RegCloseKey(software);
}

// The Uninstall entry that Windows Installer wrote for a product (64-bit
// packages register in the 64-bit view).
std::wstring UninstallEntry(const std::wstring& productCode)
{
    return std::wstring(product::kUninstallList) + L"\\" + productCode;
}

// Generous: a 32-bit msiexec takes minutes to start on a busy machine that
// emulates 32-bit code.
int RunMsiexec(const std::wstring& arguments)
{
    const auto result = RunProcess(L"msiexec.exe " + arguments, {}, 1200000);
    return result.started && !result.timedOut ? static_cast<int>(result.exitCode) : -1;
}

// Everything a scenario leaves goes when it ends: packages it installed, the
// driver's keys in both views, the installers folder.
class Machine {
  public:
    ~Machine()
    {
        for (const auto& package : m_installed)
            RunMsiexec(L"/x \"" + package + L"\" /quiet");
        RawDeleteZaro(0);
        RawDeleteZaro(kOtherView);
        testing_support::RemoveTree(MakerFolder());
    }
    // Installs a test package with the real Windows Installer, as an earlier
    // run of the setup would have left it; it is removed again at the end.
    bool Install(const std::wstring& package)
    {
        m_installed.push_back(package);
        return RunMsiexec(L"/i \"" + package + L"\" /quiet") == 0;
    }
    // A package the launcher installs is removed at the end too.
    void Adopt(const std::wstring& package) { m_installed.push_back(package); }
    // Either of the launcher's package resources (on 32-bit Windows only
    // the 32-bit one can be installed).
    void AdoptCarried()
    {
        Adopt(BinDir() + L"\\" + ScenarioPackage(L"observed-msi32.msi"));
        if (!OnWin32())
            Adopt(BinDir() + L"\\scenario-observed-msi64.msi");
    }

  private:
    std::vector<std::wstring> m_installed;
};

std::vector<std::wstring> Programs(const std::vector<testing_support::StandinRecord>& records)
{
    std::vector<std::wstring> names;
    for (const auto& r : records)
        names.push_back(r.program);
    return names;
}

// Plants device instances as an old driver leaves them.
void PlantInstances(const std::wstring& instances)
{
    for (const wchar_t* name : {L"USB#1", L"USB#2"}) {
        ASSERT_TRUE(SetRaw(instances + L"\\" + name, L"Initialized", REG_BINARY, kBoolTrue));
        ASSERT_TRUE(SetRaw(instances + L"\\" + name + L"\\Attached", L"", REG_BINARY, kBoolTrue));
        ASSERT_TRUE(SetText(instances + L"\\" + name, L"FriendlyName", L"Orbelle USB"));
    }
}

void ExpectInstancesReset(const std::wstring& instances)
{
    for (const wchar_t* name : {L"USB#1", L"USB#2"}) {
        SCOPED_TRACE(testing_support::WideToUtf8(name));
        EXPECT_EQ(kBoolFalse, GetRaw(instances + L"\\" + name, L"Initialized").data);
        EXPECT_EQ(kBoolFalse, GetRaw(instances + L"\\" + name + L"\\Attached", L"").data);
        EXPECT_EQ(20u, GetRaw(instances + L"\\" + name, L"LastDetachTime").data.size());
        EXPECT_EQ(L"Orbelle USB", RawText(instances + L"\\" + name, 0, L"FriendlyName"));
    }
}

// What every launcher run of these scenarios gets: stand-in records, the
// observer's registry snapshot, and a temporary folder of its own so that a
// work folder left behind would show.
struct RunFolders {
    TempDir temp;
    std::wstring tmp = temp / L"tmp";
    std::wstring log = temp / L"children.log";
    std::wstring snapshot = temp / L"during-install.txt";
    Environment Env() const
    {
        return {{L"STANDIN_LOG", log},
                {L"STANDIN_SNAPSHOT_observer", snapshot},
                {L"STANDIN_SNAPSHOT_VIEW", kSnapshotView},
                {L"TMP", tmp},
                {L"TEMP", tmp}};
    }
};

// On 32-bit Windows where 32-bit code is emulated, the launcher and its five
// children are six 32-bit process starts of a minute or more each.
testing_support::ProcessResult RunLauncher(const std::wstring& launcher, const std::wstring& arguments,
                                           const Environment& env)
{
    return RunProcess(L"\"" + Bin(launcher + L".exe") + L"\" " + arguments, env, 3600000);
}

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
        HKEY sub = nullptr;
        if (RegOpenKeyExW(key, child, 0, KEY_READ, &sub) == ERROR_SUCCESS) {
            FindKeysNamed(sub, childPath, name, found);
            RegCloseKey(sub);
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
// where release 1.0.13 is installed and has recorded two device instances.
TEST(TypicalRun, QuietOnAMachineWithAnOldRelease)
{
    Machine machine;
    RunFolders run;
    ASSERT_TRUE(CreateDirectoryW(run.tmp.c_str(), nullptr));
    // 32-bit Windows has one registry view and no key to redirect into.
    if (OnWin32()) {
        ASSERT_EQ(std::vector<std::wstring>{}, Wow6432NodeKeys());
    }
    ASSERT_TRUE(machine.Install(Bin(ScenarioPackage(L"old-1.0.13.msi")))) << "the earlier release did not install";
    machine.AdoptCarried();

    const std::wstring settings = DriverSettingsKeyPath();
    const std::wstring oldProductCode = RawText(settings, 0, L"ProductCode");
    ASSERT_FALSE(oldProductCode.empty()) << "the earlier release recorded no product code";
    ASSERT_TRUE(SetRaw(settings, L"Volume", REG_DWORD, Bytes({0x40, 0, 0, 0})));
    const std::wstring instances = settings + L"\\" + kDeviceKey + L"\\Instances";
    PlantInstances(instances);
    // A key of the backup's name in the other registry view must survive:
    // the backup is removed in the launcher's own view only. (On 32-bit
    // Windows there is no other view: the flag names the only one.)
    if (!OnWin32()) {
        ASSERT_TRUE(RawSetText(SettingsBackupKeyPath(), kOtherView, L"Decoy", L"other view"));
    }
    // The installed driver is running: two tray helpers of one name, one of
    // the other, a program whose name differs only in case, and the device
    // monitor service, which records what it receives in the same log.
    prepare_fixtures::HelperProcesses helpers(HelperFolder());
    const int trayA = helpers.Start(L"KorvelTaskBarIcon.exe");
    const int trayB = helpers.Start(L"KorvelTaskBarIcon.exe");
    const int tray64 = helpers.Start(L"KorvelTaskBarIcon64.exe");
    const int lookalike = helpers.Start(L"KorvelTaskBarIcon.EXE");
    ASSERT_TRUE(trayA >= 0 && trayB >= 0 && tray64 >= 0 && lookalike >= 0);
    prepare_fixtures::TestService service(run.log, HelperFolder());
    ASSERT_TRUE(service.installed());
    ASSERT_TRUE(service.Start());

    const auto result = RunLauncher(ScenarioLauncher(L"scenario_launcher"), L"-quiet", run.Env());
    ASSERT_TRUE(result.started) << "CreateProcess failed with " << result.startError;
    ASSERT_FALSE(result.timedOut);
    EXPECT_EQ(0u, result.exitCode);
    EXPECT_EQ("", result.output) << "no diagnostic line";

    // Prerequisites and the legacy uninstaller, with their exact arguments,
    // then the package installation (the observer runs inside it).
    const auto children = ReadStandinLog(run.log);
    // The service's record of code 128 stands between them: it came before
    // the installation started.
    std::vector<std::wstring> expected = {L"vcredist_x86.exe"};
    if (UnderWow64())
        expected.push_back(L"vcredist_x64.exe");
    expected.push_back(L"kv_isu.exe");
    expected.push_back(product::kDeviceMonitorService);
    expected.push_back(L"observer.exe");
    ASSERT_EQ(expected, Programs(children));
    EXPECT_EQ(product::kArgsRedist32, children[0].arguments);
    if (UnderWow64()) {
        EXPECT_EQ(product::kArgsRedist64, children[1].arguments);
    }
    const auto& uninstaller = children[expected.size() - 3];
    EXPECT_EQ(L"", uninstaller.arguments);
    EXPECT_EQ(L"128", children[expected.size() - 2].arguments);
    EXPECT_EQ(L"installing", children.back().arguments);

    // The tray helpers were ended with exit code 0; the look-alike runs on,
    // and so does the service: the launcher neither stops nor starts it.
    EXPECT_EQ(0u, helpers.WaitForExit(trayA, 10000));
    EXPECT_EQ(0u, helpers.WaitForExit(trayB, 10000));
    EXPECT_EQ(0u, helpers.WaitForExit(tray64, 10000));
    EXPECT_TRUE(helpers.Running(lookalike));
    EXPECT_EQ(static_cast<DWORD>(SERVICE_RUNNING), service.State());
    EXPECT_EQ(std::vector<DWORD>{128}, service.RecordedControls());

    // The installed version was read (1.0.13), so the device state was reset
    // before the backup was taken.
    ExpectInstancesReset(instances);

    // While the package installed, the settings had a copy beside them: the
    // settings as they were before the installation, reset state included.
    // (The observer runs at the end of the installation, when the package has
    // already recorded its own product code in the settings.)
    const TreeSnapshot during = ReadSnapshotFile(run.snapshot);
    const std::wstring guid = product::kDriverGuid;
    TreeSnapshot settingsDuring = Subtree(during, guid);
    TreeSnapshot backupDuring = Subtree(during, std::wstring(product::kSettingsBackupPrefix) + guid);
    ASSERT_FALSE(settingsDuring.empty()) << "the observer saw no settings key";
    const std::wstring productCodeLine = L"V\t\tProductCode";
    std::vector<std::uint8_t> oldCodeData(
        reinterpret_cast<const std::uint8_t*>(oldProductCode.c_str()),
        reinterpret_cast<const std::uint8_t*>(oldProductCode.c_str() + oldProductCode.size() + 1));
    EXPECT_EQ(L"1\t" + Hex(oldCodeData), backupDuring[productCodeLine]);
    settingsDuring.erase(productCodeLine);
    backupDuring.erase(productCodeLine);
    EXPECT_EQ(settingsDuring, backupDuring);
    // Afterwards the copy is gone, and only in the launcher's own view.
    EXPECT_FALSE(KeyPresent(SettingsBackupKeyPath()));
    if (!OnWin32()) {
        EXPECT_EQ(L"other view", RawText(SettingsBackupKeyPath(), kOtherView, L"Decoy"));
    }

    // The new release is installed by the real Windows Installer: "MSI64"
    // under WOW64, "MSI32" otherwise, and the package stays in its folder.
    // Its Uninstall entry is in the 64-bit view, on 32-bit Windows in the
    // only one (the default view of every process there).
    const REGSAM uninstallView = OnWin32() ? 0 : KEY_WOW64_64KEY;
    const std::wstring newProductCode = RawText(settings, 0, L"ProductCode");
    EXPECT_NE(oldProductCode, newProductCode);
    EXPECT_EQ(L"1.0.15", RawText(UninstallEntry(newProductCode), uninstallView, L"DisplayVersion"));
    const std::wstring resource = UnderWow64() ? L"MSI64" : L"MSI32";
    EXPECT_EQ(L"Orbelle Scenario Driver 1.0.15 (" + resource + L")",
              RawText(UninstallEntry(newProductCode), uninstallView, L"DisplayName"));
    EXPECT_EQ(Bytes({0x40, 0, 0, 0}), GetRaw(settings, L"Volume").data);
    std::vector<std::uint8_t> left, carried;
    ASSERT_TRUE(ReadFileBytes(InstallersFolder() + L"\\ZaroInstaller.msi", left));
    ASSERT_TRUE(ReadFileBytes(
        Bin(UnderWow64() ? L"scenario-observed-msi64.msi" : ScenarioPackage(L"observed-msi32.msi")), carried));
    EXPECT_EQ(carried, left);

    if (OnWin32()) {
        // The earlier release's entry, where its version was read, is as it
        // was, and nothing was redirected anywhere.
        EXPECT_EQ(L"1.0.13", RawText(UninstallEntry(oldProductCode), 0, L"DisplayVersion"));
        EXPECT_EQ(std::vector<std::wstring>{}, Wow6432NodeKeys());
    } else {
        // The 64-bit package registered in the 64-bit Uninstall list only, and
        // looking up the version left no empty entry in the 32-bit one.
        EXPECT_FALSE(RawKeyPresent(UninstallEntry(oldProductCode), KEY_WOW64_32KEY));
    }
    // Nothing is left in the temporary folder.
    EXPECT_TRUE(testing_support::ListNames(run.tmp).empty()) << "the work folder was left behind";
}

// A prerequisite that fails ends the run before anything of the product is
// touched, and its code is the exit code.
TEST(EdgeRun, FailingRedistributableTouchesNothing)
{
    Machine machine;
    RunFolders run;
    ASSERT_TRUE(CreateDirectoryW(run.tmp.c_str(), nullptr));
    Environment env = run.Env();
    env[L"STANDIN_EXIT_vcredist_x86"] = L"1603";

    const auto result = RunLauncher(L"scenario_launcher", L"-quiet", env);
    ASSERT_TRUE(result.started) << "CreateProcess failed with " << result.startError;
    ASSERT_FALSE(result.timedOut);
    EXPECT_EQ(1603u, result.exitCode);
    EXPECT_EQ(std::vector<std::wstring>{L"vcredist_x86.exe"}, Programs(ReadStandinLog(run.log)));
    EXPECT_FALSE(KeyPresent(product::kDriverRoot)) << "the main path ran";
    EXPECT_FALSE(testing_support::PathExists(InstallersFolder())) << "a package was written";
    EXPECT_TRUE(testing_support::ListNames(run.tmp).empty()) << "the work folder was left behind";
}

// A package that Windows Installer rejects: the backup goes all the same, the
// settings are as they were, and Windows Installer's code is the exit code.
TEST(EdgeRun, RejectedPackageReportsWindowsInstallersCode)
{
    Machine machine;
    RunFolders run;
    ASSERT_TRUE(CreateDirectoryW(run.tmp.c_str(), nullptr));
    const int rejected = RunMsiexec(L"/i \"" + Bin(L"scenario-corrupt.msi") + L"\" /quiet");
    ASSERT_NE(0, rejected) << "Windows Installer took the corrupt package";

    const std::wstring settings = DriverSettingsKeyPath();
    ASSERT_TRUE(SetRaw(settings, L"Volume", REG_DWORD, Bytes({0x40, 0, 0, 0})));
    ASSERT_TRUE(SetText(settings + L"\\Mixer", L"Name", L"Main"));
    const TreeSnapshot before = SnapshotTree(settings);

    const auto result = RunLauncher(L"scenario_launcher_rejected", L"-quiet", run.Env());
    ASSERT_TRUE(result.started) << "CreateProcess failed with " << result.startError;
    ASSERT_FALSE(result.timedOut);
    EXPECT_EQ(static_cast<DWORD>(rejected), result.exitCode);
    EXPECT_FALSE(KeyPresent(SettingsBackupKeyPath()));
    EXPECT_EQ(before, SnapshotTree(settings));
    EXPECT_TRUE(testing_support::ListNames(run.tmp).empty()) << "the work folder was left behind";
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
    Machine machine;
    RunFolders run;
    ASSERT_TRUE(CreateDirectoryW(run.tmp.c_str(), nullptr));
    ASSERT_TRUE(machine.Install(Bin(GetParam().package)));
    machine.AdoptCarried();
    const std::wstring instances = DriverSettingsKeyPath() + L"\\" + kDeviceKey + L"\\Instances";
    PlantInstances(instances);
    const TreeSnapshot planted = SnapshotTree(instances);

    const auto result = RunLauncher(L"scenario_launcher", L"-quiet", run.Env());
    ASSERT_TRUE(result.started) << "CreateProcess failed with " << result.startError;
    ASSERT_FALSE(result.timedOut);
    EXPECT_EQ(0u, result.exitCode);
    if (GetParam().reset)
        ExpectInstancesReset(instances);
    else
        EXPECT_EQ(planted, SnapshotTree(instances));
}

INSTANTIATE_TEST_SUITE_P(Releases, InstalledRelease,
                         ::testing::Values(ReleaseCase{L"scenario-old-1.0.13.msi", true},
                                           ReleaseCase{L"scenario-old-1.0.14.msi", false},
                                           ReleaseCase{L"scenario-old-2.0.0.msi", false}));

// A deployment tool asks Windows Installer for a verbose log of its own.
TEST(EdgeRun, MsiargsWithALogOptionWritesTheLogWhereAsked)
{
    Machine machine;
    RunFolders run;
    ASSERT_TRUE(CreateDirectoryW(run.tmp.c_str(), nullptr));
    machine.AdoptCarried();
    const std::wstring msiLog = run.temp / L"install log.txt";

    const auto result =
        RunLauncher(L"scenario_launcher", L"-msiargs '/i $MSIPATH /quiet /l*v \"" + msiLog + L"\"'", run.Env());
    ASSERT_TRUE(result.started) << "CreateProcess failed with " << result.startError;
    ASSERT_FALSE(result.timedOut);
    EXPECT_EQ(0u, result.exitCode);
    std::vector<std::uint8_t> log;
    ASSERT_TRUE(ReadFileBytes(msiLog, log)) << "no log where it was asked for";
    EXPECT_GT(log.size(), 100u);
}

} // namespace
