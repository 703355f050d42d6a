// Whole launcher runs on the real registry of the test prefix: the settings
// backup while the package installs, and the device state reset decided by
// the release that an earlier run installed with the real msiexec.
#include <gtest/gtest.h>

#include <shlobj.h>

#include <string>

#include "settings/driver_keys.h"
#include "tests/settings/registry_fixture.h"
#include "tests/support/raw_registry.h"
#include "tests/support/registry_snapshot.h"
#include "tests/support/test_support.h"

namespace {

using namespace testing_support;
using settings_test::ZaroKeyCleanup;

const wchar_t kOpenCommand[] = L"Msi.Package\\shell\\Open\\command";
const Bytes kBoolFalse = Bytes({0x0D, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0});
const Bytes kBoolTrue = Bytes({0x0D, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 1});

std::wstring Launcher(const std::wstring& name)
{
    return L"\"" + BinDir() + L"\\" + name + L".exe\"";
}

std::wstring Package(const std::wstring& version)
{
    return BinDir() + L"\\orbelle-test-" + version + L".msi";
}

// <common application data>\ZARO: the installers folder that a run leaves.
std::wstring MakerFolder()
{
    wchar_t buffer[MAX_PATH] = {};
    SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, buffer);
    return std::wstring(buffer) + L"\\ZARO";
}

// Everything a whole run leaves on the machine goes when the test ends: the
// driver's keys, the installers folder, and the package if one was installed.
class RunCleanup {
  public:
    explicit RunCleanup(std::wstring package = L"") : m_package(std::move(package)) {}
    ~RunCleanup()
    {
        if (!m_package.empty())
            RunProcess(L"msiexec.exe /x \"" + m_package + L"\" /quiet", {}, 300000);
        testing_support::RemoveTree(MakerFolder());
    }
    RunCleanup(const RunCleanup&) = delete;
    RunCleanup& operator=(const RunCleanup&) = delete;

  private:
    ZaroKeyCleanup m_keys; // destroyed after the uninstallation above
    std::wstring m_package;
};

// Registers `command` as the shell's open action for packages in this prefix
// and puts the old one back when it goes away.
class OpenActionOverride {
  public:
    explicit OpenActionOverride(const std::wstring& command)
    {
        if (RegCreateKeyExW(HKEY_CLASSES_ROOT, kOpenCommand, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &m_key, nullptr) !=
            ERROR_SUCCESS) {
            m_key = nullptr;
            return;
        }
        DWORD size = 0;
        if (RegQueryValueExW(m_key, nullptr, nullptr, &m_oldType, nullptr, &size) == ERROR_SUCCESS) {
            m_old.resize(size);
            m_hadOld = RegQueryValueExW(m_key, nullptr, nullptr, &m_oldType, m_old.data(), &size) == ERROR_SUCCESS;
        }
        m_ok = RegSetValueExW(m_key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(command.c_str()),
                              static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
    }
    ~OpenActionOverride()
    {
        if (m_key == nullptr)
            return;
        if (m_hadOld)
            RegSetValueExW(m_key, nullptr, 0, m_oldType, m_old.data(), static_cast<DWORD>(m_old.size()));
        else
            RegDeleteValueW(m_key, nullptr);
        RegCloseKey(m_key);
    }
    OpenActionOverride(const OpenActionOverride&) = delete;
    OpenActionOverride& operator=(const OpenActionOverride&) = delete;
    bool ok() const { return m_ok; }

  private:
    HKEY m_key = nullptr;
    bool m_ok = false;
    bool m_hadOld = false;
    DWORD m_oldType = 0;
    std::vector<std::uint8_t> m_old;
};

// A user double-clicks the setup: no switches, so the package is opened with
// Windows Installer's own interface. While that runs, the driver's settings
// have a copy beside them; afterwards the copy is gone.
TEST(SettingsRun, BackupExistsWhileThePackageInstalls)
{
    RunCleanup cleanup;
    OpenActionOverride open(L"\"" + BinDir() + L"\\standin.exe\" \"%1\"");
    ASSERT_TRUE(open.ok());
    const std::wstring settings = DriverSettingsKeyPath();
    ASSERT_TRUE(SetTextRaw(settings, L"ProductCode", L"{00000000-0000-0000-0000-000000000000}"));
    ASSERT_TRUE(SetValueRaw(settings, L"Volume", REG_DWORD, Bytes({0x40, 0, 0, 0})));
    ASSERT_TRUE(SetValueRaw(settings + L"\\Mixer\\Bus 1", L"Gain", REG_BINARY,
                            Bytes({0x14, 0, 0, 0, 0, 0, 0, 0, 3, 0, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8})));
    ASSERT_TRUE(CreateKeyRaw(settings + L"\\Mixer\\Bus 2"));
    const KeySnapshot planted = TakeSnapshot(settings);

    testing_support::TempDir temp;
    const auto result = RunProcess(
        Launcher(L"launcher_package_1_0_13"),
        {{L"STANDIN_LOG", temp / L"children.log"}, {L"STANDIN_SNAPSHOT_standin", temp / L"registry.txt"}}, 120000);
    ASSERT_TRUE(result.started) << "CreateProcess failed with " << result.startError;
    ASSERT_FALSE(result.timedOut);

    const auto children = testing_support::ReadStandinLog(temp / L"children.log");
    ASSERT_EQ(1u, children.size());
    EXPECT_NE(std::wstring::npos, children[0].arguments.find(L"ZaroInstaller.msi")) << "the package was not opened";

    KeySnapshot during = ParseSnapshot(ReadUtf8File(temp / L"registry.txt"));
    const std::wstring guid = L"{5B0E27A4-C3D1-4F68-A2B9-7E41D06C93F5}";
    EXPECT_EQ(planted, during.subkeys[guid]);
    EXPECT_EQ(planted, during.subkeys[L"SettingsBackup_" + guid]);

    EXPECT_FALSE(KeyPresent(SettingsBackupKeyPath()));
    EXPECT_EQ(planted, TakeSnapshot(settings));
}

struct ReleaseCase {
    const wchar_t* version;
    bool reset;
};

void PrintTo(const ReleaseCase& c, std::ostream* os)
{
    *os << testing_support::WideToUtf8(c.version) << (c.reset ? " (reset)" : " (no reset)");
}

class SecondRun : public ::testing::TestWithParam<ReleaseCase> {};

// An unattended deployment runs the setup twice. The second run finds the
// release the first one installed; only up to 1.0.13 are the device
// instances that the driver recorded in between reset.
TEST_P(SecondRun, ResetsDeviceStateOnlyAfterAnOldRelease)
{
    const std::wstring version = GetParam().version;
    RunCleanup cleanup(Package(version));
    std::wstring launcherName = L"launcher_package_" + version;
    for (auto& c : launcherName)
        if (c == L'.')
            c = L'_';

    const auto first = RunProcess(Launcher(launcherName) + L" -quiet", {}, 300000);
    ASSERT_TRUE(first.started);
    ASSERT_FALSE(first.timedOut);
    ASSERT_EQ(0u, first.exitCode);
    ASSERT_TRUE(GetValueRaw(DriverSettingsKeyPath(), L"ProductCode").present) << "the package did not install";

    const std::wstring instances = DriverSettingsKeyPath() + L"\\010203047E0B0000C0310000DEADBEEF\\Instances";
    for (const wchar_t* name : {L"USB#1", L"USB#2"}) {
        ASSERT_TRUE(SetValueRaw(instances + L"\\" + name, L"Initialized", REG_BINARY, kBoolTrue));
        ASSERT_TRUE(SetValueRaw(instances + L"\\" + name + L"\\Attached", L"", REG_BINARY, kBoolTrue));
    }
    const KeySnapshot planted = TakeSnapshot(instances);

    const auto second = RunProcess(Launcher(launcherName) + L" -quiet", {}, 300000);
    ASSERT_TRUE(second.started);
    ASSERT_FALSE(second.timedOut);

    if (!GetParam().reset) {
        EXPECT_EQ(planted, TakeSnapshot(instances));
        return;
    }
    for (const wchar_t* name : {L"USB#1", L"USB#2"}) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(name)));
        EXPECT_EQ(kBoolFalse, GetValueRaw(instances + L"\\" + name, L"Initialized").data);
        EXPECT_EQ(kBoolFalse, GetValueRaw(instances + L"\\" + name + L"\\Attached", L"").data);
        EXPECT_EQ(20u, GetValueRaw(instances + L"\\" + name, L"LastDetachTime").data.size());
    }
}

INSTANTIATE_TEST_SUITE_P(Releases, SecondRun,
                         ::testing::Values(ReleaseCase{L"1.0.13", true}, ReleaseCase{L"1.0.14", false}),
                         [](const ::testing::TestParamInfo<ReleaseCase>& info) {
                             return info.param.reset ? std::string("Release_1_0_13") : std::string("Release_1_0_14");
                         });

} // namespace
