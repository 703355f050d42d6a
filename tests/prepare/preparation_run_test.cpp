// Whole launcher runs on a machine where the installed driver is at work: its
// tray helpers run and its device-monitor service is installed.
#include <gtest/gtest.h>

#include "tests/prepare/prepare_fixtures.h"
#include "tests/support/test_machine.h"

namespace {

using prepare_fixtures::HelperProcesses;
using prepare_fixtures::TestService;
using testing_support::BinDir;
using testing_support::Launcher;
using testing_support::RunProcess;
using testing_support::TempDir;

testing_support::ProcessResult RunLauncher(const wchar_t* name)
{
    return RunProcess(Launcher(name) + L" -quiet", {}, 120000);
}

TEST(PreparationRun, EndsTheHelpersAndSignalsTheRunningServiceWithoutStoppingIt)
{
    TempDir dir;
    TestService service(dir / L"controls.log");
    ASSERT_TRUE(service.installed());
    ASSERT_TRUE(service.Start());
    HelperProcesses helpers;
    const int tray = helpers.Start(L"KorvelTaskBarIcon.exe");
    const int tray2 = helpers.Start(L"KorvelTaskBarIcon.exe");
    const int tray64 = helpers.Start(L"KorvelTaskBarIcon64.exe");
    const int other = helpers.Start(L"KorvelTaskBarIcon.EXE");
    ASSERT_TRUE(tray >= 0 && tray2 >= 0 && tray64 >= 0 && other >= 0);

    const auto result = RunLauncher(L"launcher_plain");
    ASSERT_TRUE(result.started) << "CreateProcess failed with " << result.startError;
    ASSERT_FALSE(result.timedOut);

    for (int index : {tray, tray2, tray64})
        EXPECT_EQ(0u, helpers.WaitForExit(index, 10000)) << "helper " << index;
    EXPECT_TRUE(helpers.Running(other));
    EXPECT_EQ(std::vector<DWORD>{128}, service.RecordedControls());
    EXPECT_EQ(static_cast<DWORD>(SERVICE_RUNNING), service.State());
}

TEST(PreparationRun, LeavesAStoppedServiceStopped)
{
    TempDir dir;
    TestService service(dir / L"controls.log");
    ASSERT_TRUE(service.installed());
    ASSERT_EQ(static_cast<DWORD>(SERVICE_STOPPED), service.State());

    const auto result = RunLauncher(L"launcher_plain");
    ASSERT_TRUE(result.started) << "CreateProcess failed with " << result.startError;
    ASSERT_FALSE(result.timedOut);

    EXPECT_EQ(static_cast<DWORD>(SERVICE_STOPPED), service.State());
    EXPECT_TRUE(service.RecordedControls().empty());
}

// The story of an upgrade over a running driver: the launcher ends the tray
// helpers and signals the device-monitor service before the package
// installation starts. One record file holds the service's records and those
// of a recording msiexec, in the order they happened.
TEST(PreparationRun, SignalsTheServiceBeforeThePackageInstallationStarts)
{
    TempDir dir;
    const std::wstring events = dir / L"events.log";
    const std::wstring launcher = dir / L"launcher_with_package.exe";
    ASSERT_TRUE(CopyFileW((BinDir() + L"\\launcher_with_package.exe").c_str(), launcher.c_str(), TRUE));
    testing_support::SystemMsiexecStandin msiexec;
    ASSERT_TRUE(msiexec.ok()) << "run through CTest (see CMakeLists.txt)";
    TestService service(events);
    ASSERT_TRUE(service.installed());
    ASSERT_TRUE(service.Start());
    HelperProcesses helpers;
    const int tray = helpers.Start(L"KorvelTaskBarIcon.exe");
    const int tray64 = helpers.Start(L"KorvelTaskBarIcon64.exe");
    ASSERT_TRUE(tray >= 0 && tray64 >= 0);

    const auto result = RunProcess(L"\"" + launcher + L"\" -quiet", {{L"STANDIN_LOG", events}}, 120000);
    ASSERT_TRUE(result.started) << "CreateProcess failed with " << result.startError;
    ASSERT_FALSE(result.timedOut);

    EXPECT_EQ(0u, helpers.WaitForExit(tray, 10000));
    EXPECT_EQ(0u, helpers.WaitForExit(tray64, 10000));
    int control = -1;
    int installation = -1;
    const auto records = testing_support::ReadStandinLog(events);
    for (size_t i = 0; i < records.size(); ++i) {
        if (records[i].program == L"OrbelleAudioDevMon" && records[i].arguments == L"128" && control < 0)
            control = static_cast<int>(i);
        if (records[i].program == L"msiexec.exe" && records[i].arguments.rfind(L"/i ", 0) == 0 && installation < 0)
            installation = static_cast<int>(i);
    }
    ASSERT_GE(control, 0) << "the service received no code 128";
    ASSERT_GE(installation, 0) << "the package installation did not start";
    EXPECT_LT(control, installation);
    EXPECT_EQ(static_cast<DWORD>(SERVICE_RUNNING), service.State());
}

} // namespace
