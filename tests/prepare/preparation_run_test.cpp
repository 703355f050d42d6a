// Whole launcher runs on a machine where the installed driver is at work: its
// tray helpers run and its device-monitor service is installed.
#include <gtest/gtest.h>

#include "launcher/exit_codes.h"
#include "tests/prepare/prepare_fixtures.h"

namespace {

using prepare_fixtures::HelperProcesses;
using prepare_fixtures::TestService;
using testing_support::BinDir;
using testing_support::RunProcess;
using testing_support::TempDir;

testing_support::ProcessResult RunLauncher(const wchar_t* name)
{
    return RunProcess(L"\"" + BinDir() + L"\\" + name + L".exe\" -quiet", {}, 120000);
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
    ASSERT_TRUE(result.started);
    ASSERT_FALSE(result.timedOut);
    EXPECT_EQ(static_cast<DWORD>(exit_code::kSuccess), result.exitCode);

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
    ASSERT_TRUE(result.started);
    ASSERT_FALSE(result.timedOut);

    EXPECT_EQ(static_cast<DWORD>(SERVICE_STOPPED), service.State());
    EXPECT_TRUE(service.RecordedControls().empty());
}

} // namespace
