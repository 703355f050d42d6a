// Whole launcher runs on a machine where the installed driver is at work: its
// tray helpers run and its device-monitor service is installed.
#include <gtest/gtest.h>

#include "tests/support/running_driver.h"
#include "tests/support/test_machine.h"
#include "tests/support/whole_run.h"

namespace {

using testing_support::BinDir;
using testing_support::RunningDriver;
using testing_support::TestService;
using testing_support::WholeRun;

TEST(PreparationRun, EndsTheHelpersAndSignalsTheRunningServiceWithoutStoppingIt)
{
    WholeRun run;
    RunningDriver driver;
    ASSERT_TRUE(driver.StartService(run.folder() / L"controls.log"));
    ASSERT_TRUE(driver.StartHelpers());

    const auto result = run.Run(L"launcher_plain");
    ASSERT_TRUE(result.started) << "CreateProcess failed with " << result.startError;
    ASSERT_FALSE(result.timedOut);

    EXPECT_EQ((std::vector<DWORD>{0, 0, 0}), driver.HelperExitCodes());
    EXPECT_TRUE(driver.LookalikeRunning());
    EXPECT_EQ(std::vector<DWORD>{128}, driver.service().RecordedControls());
    EXPECT_EQ(static_cast<DWORD>(SERVICE_RUNNING), driver.service().State());
}

TEST(PreparationRun, LeavesAStoppedServiceStopped)
{
    WholeRun run;
    TestService service(run.folder() / L"controls.log");
    ASSERT_TRUE(service.installed());
    ASSERT_EQ(static_cast<DWORD>(SERVICE_STOPPED), service.State());

    const auto result = run.Run(L"launcher_plain");
    ASSERT_TRUE(result.started) << "CreateProcess failed with " << result.startError;
    ASSERT_FALSE(result.timedOut);

    EXPECT_EQ(static_cast<DWORD>(SERVICE_STOPPED), service.State());
    EXPECT_TRUE(service.RecordedControls().empty());
}

// The story of an upgrade over a running driver: the launcher ends the tray
// helpers and signals the device-monitor service before the package
// installation starts. One record file, the run's log, holds the service's
// records and those of a recording msiexec, in the order they happened.
TEST(PreparationRun, SignalsTheServiceBeforeThePackageInstallationStarts)
{
    WholeRun run;
    const std::wstring launcher = run.folder() / L"launcher_with_package.exe";
    ASSERT_TRUE(CopyFileW((BinDir() + L"\\launcher_with_package.exe").c_str(), launcher.c_str(), TRUE));
    testing_support::SystemMsiexecStandin msiexec;
    ASSERT_TRUE(msiexec.ok()) << "run through CTest (see CMakeLists.txt)";
    RunningDriver driver;
    ASSERT_TRUE(driver.StartService(run.log()));
    ASSERT_TRUE(driver.StartHelpers());

    const auto result = run.RunProgram(launcher);
    ASSERT_TRUE(result.started) << "CreateProcess failed with " << result.startError;
    ASSERT_FALSE(result.timedOut);

    EXPECT_EQ((std::vector<DWORD>{0, 0, 0}), driver.HelperExitCodes());
    int control = -1;
    int installation = -1;
    const auto& records = result.children;
    for (size_t i = 0; i < records.size(); ++i) {
        if (records[i].program == L"OrbelleAudioDevMon" && records[i].arguments == L"128" && control < 0)
            control = static_cast<int>(i);
        if (records[i].program == L"msiexec.exe" && records[i].arguments.rfind(L"/i ", 0) == 0 && installation < 0)
            installation = static_cast<int>(i);
    }
    ASSERT_GE(control, 0) << "the service received no code 128";
    ASSERT_GE(installation, 0) << "the package installation did not start";
    EXPECT_LT(control, installation);
    EXPECT_EQ(static_cast<DWORD>(SERVICE_RUNNING), driver.service().State());
}

} // namespace
