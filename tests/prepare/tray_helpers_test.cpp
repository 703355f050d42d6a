// TerminateTrayHelpers against real processes: copies of the stand-in program
// started under the tray helpers' names and under names that must not match.
#include <gtest/gtest.h>

#include "prepare/tray_helpers.h"
#include "tests/support/running_driver.h"

namespace {

using testing_support::HelperProcesses;
using testing_support::RunningDriver;

TEST(TerminateTrayHelpers, EndsEveryInstanceOfBothHelpersWithExitCodeZero)
{
    RunningDriver driver;
    ASSERT_TRUE(driver.StartHelpers());

    EXPECT_EQ(3, TerminateTrayHelpers());

    EXPECT_EQ((std::vector<DWORD>{0, 0, 0}), driver.HelperExitCodes());
    // The name differs only in letter case: not one of the driver's helpers.
    EXPECT_TRUE(driver.LookalikeRunning());
}

// Names close to a helper's but not equal to it, letter case included.
TEST(TerminateTrayHelpers, LeavesEveryOtherNameRunningAndReportsZero)
{
    HelperProcesses others;
    for (const wchar_t* name : {L"KorvelTaskBarIcon.EXE", L"korveltaskbaricon64.exe", L"KorvelTaskBarIcon32.exe",
                                L"XKorvelTaskBarIcon.exe", L"KorvelTaskBarIcon64.exe.exe"})
        ASSERT_GE(others.Start(name), 0) << "could not start a copy named like " << testing_support::WideToUtf8(name);

    EXPECT_EQ(0, TerminateTrayHelpers());

    for (size_t i = 0; i < others.count(); ++i)
        EXPECT_TRUE(others.Running(static_cast<int>(i))) << "process " << i;
}

} // namespace
