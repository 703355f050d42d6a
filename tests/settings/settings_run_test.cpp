// Whole launcher runs on the real registry of the test prefix: the settings
// backup while the package installs, and the device state reset decided by
// the release that an earlier run installed with the real msiexec.
#include <gtest/gtest.h>

#include <string>

#include "launcher/product_constants.h"
#include "settings/driver_keys.h"
#include "tests/support/raw_registry.h"
#include "tests/support/registry_snapshot.h"
#include "tests/support/test_machine.h"
#include "tests/support/test_support.h"
#include "tests/support/value_records.h"
#include "tests/support/whole_run.h"

namespace {

using namespace testing_support;

std::wstring Package(const std::wstring& version)
{
    return BinDir() + L"\\orbelle-test-" + version + L".msi";
}

// A user double-clicks the setup: no switches, so the package is opened with
// Windows Installer's own interface. While that runs, the driver's settings
// have a copy beside them; afterwards the copy is gone.
TEST(SettingsRun, BackupExistsWhileThePackageInstalls)
{
    TestMachine machine;
    RemoveDriverTraces();
    OpenActionOverride open(L"\"" + BinDir() + L"\\standin.exe\" \"%1\"");
    ASSERT_TRUE(open.ok());
    const std::wstring settings = DriverSettingsKeyPath();
    ASSERT_TRUE(SetTextRaw(settings, L"ProductCode", L"{00000000-0000-0000-0000-000000000000}"));
    ASSERT_TRUE(SetValueRaw(settings, L"Volume", REG_DWORD, Bytes({0x40, 0, 0, 0})));
    ASSERT_TRUE(SetValueRaw(settings + L"\\Mixer\\Bus 1", L"Gain", REG_BINARY,
                            Bytes({0x14, 0, 0, 0, 0, 0, 0, 0, 3, 0, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8})));
    ASSERT_TRUE(CreateKeyRaw(settings + L"\\Mixer\\Bus 2"));
    const KeySnapshot planted = TakeSnapshot(settings);

    WholeRun run;
    const std::wstring snapshot = run.folder() / L"registry.txt";
    const auto result = run.Run(L"launcher_package_1_0_13", L"", {{L"STANDIN_SNAPSHOT_standin", snapshot}});
    ASSERT_TRUE(result.started) << "CreateProcess failed with " << result.startError;
    ASSERT_FALSE(result.timedOut);

    const auto& children = result.children;
    ASSERT_EQ(1u, children.size());
    EXPECT_NE(std::wstring::npos, children[0].arguments.find(L"ZaroInstaller.msi")) << "the package was not opened";

    KeySnapshot during = ParseSnapshot(ReadUtf8File(snapshot));
    const std::wstring guid = product::kDriverGuid;
    EXPECT_EQ(planted, during.subkeys[guid]);
    EXPECT_EQ(planted, during.subkeys[product::kSettingsBackupPrefix + guid]);

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
    TestMachine machine;
    RemoveDriverTraces();
    machine.Adopt(Package(version));
    std::wstring launcherName = L"launcher_package_" + version;
    for (auto& c : launcherName)
        if (c == L'.')
            c = L'_';

    WholeRun run;
    run.SetTimeout(300000);
    const auto first = run.Run(launcherName);
    ASSERT_TRUE(first.started);
    ASSERT_FALSE(first.timedOut);
    ASSERT_EQ(0u, first.exitCode);
    ASSERT_TRUE(GetValueRaw(DriverSettingsKeyPath(), L"ProductCode").present) << "the package did not install";

    const std::wstring instances = DeviceInstancesKeyPath();
    ASSERT_TRUE(PlantDeviceInstances(instances));
    const KeySnapshot planted = TakeSnapshot(instances);

    const auto second = run.Run(launcherName);
    ASSERT_TRUE(second.started);
    ASSERT_FALSE(second.timedOut);

    if (!GetParam().reset) {
        EXPECT_EQ(planted, TakeSnapshot(instances));
        return;
    }
    for (const wchar_t* name : kPlantedInstanceNames) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(name)));
        EXPECT_EQ(kBoolFalseRecord, GetValueRaw(instances + L"\\" + name, L"Initialized").data);
        EXPECT_EQ(kBoolFalseRecord, GetValueRaw(instances + L"\\" + name + L"\\Attached", L"").data);
        EXPECT_EQ(20u, GetValueRaw(instances + L"\\" + name, L"LastDetachTime").data.size());
    }
}

INSTANTIATE_TEST_SUITE_P(Releases, SecondRun,
                         ::testing::Values(ReleaseCase{L"1.0.13", true}, ReleaseCase{L"1.0.14", false}),
                         [](const ::testing::TestParamInfo<ReleaseCase>& info) {
                             return info.param.reset ? std::string("Release_1_0_13") : std::string("Release_1_0_14");
                         });

} // namespace
