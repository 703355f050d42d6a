// TerminateTrayHelpers against real processes: copies of the stand-in program
// started under the tray helpers' names and under names that must not match.
#include <gtest/gtest.h>

#include "prepare/tray_helpers.h"
#include "tests/prepare/prepare_fixtures.h"

namespace {

using prepare_fixtures::HelperProcesses;

TEST(TerminateTrayHelpers, EndsEveryInstanceOfBothHelpersWithExitCodeZero)
{
    HelperProcesses helpers;
    const int first = helpers.Start(L"KorvelTaskBarIcon.exe");
    const int second = helpers.Start(L"KorvelTaskBarIcon.exe");
    const int wide = helpers.Start(L"KorvelTaskBarIcon64.exe");
    const int upperCase = helpers.Start(L"KorvelTaskBarIcon.EXE");
    ASSERT_TRUE(first >= 0 && second >= 0 && wide >= 0 && upperCase >= 0);

    EXPECT_EQ(3, TerminateTrayHelpers());

    for (int index : {first, second, wide})
        EXPECT_EQ(0u, helpers.WaitForExit(index, 10000)) << "helper " << index;
    // The name differs only in letter case: not one of the driver's helpers.
    EXPECT_TRUE(helpers.Running(upperCase));
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
