#include <gtest/gtest.h>

#include <string>

#include "launcher/command_line.h"
#include "launcher/installer_launcher.h"
#include "launcher/switch_scan.h"

namespace {

struct ScanCase {
    std::wstring tail;
    std::wstring expected;
};

void PrintTo(const ScanCase& c, std::ostream* os)
{
    *os << "tail of " << c.tail.size() << " characters";
}

class SwitchScan : public ::testing::TestWithParam<ScanCase> {};

TEST_P(SwitchScan, SetsInstallerArguments)
{
    CInstallerLauncher app;
    app.m_lpCmdLine = GetParam().tail.c_str();
    ParseCommandLine(app);
    EXPECT_EQ(GetParam().expected, app.m_strMsiArgs);
    EXPECT_EQ(GetParam().tail, std::wstring(app.m_lpCmdLine));
}

const std::wstring kQuiet = L"/i $MSIPATH /quiet";

INSTANTIATE_TEST_SUITE_P(
    Table, SwitchScan,
    ::testing::Values(
        ScanCase{L"", L""},
        ScanCase{L"/quiet", kQuiet},
        ScanCase{L"-QUIET", kQuiet},
        ScanCase{L"--quiet", kQuiet},
        ScanCase{L"-quiet:yes", L""},
        ScanCase{L"-msiargs \"/i $MSIPATH /qn\"", L"/i $MSIPATH /qn"},
        ScanCase{L"-msiargs\"/i $MSIPATH /qn\"", L"/i $MSIPATH /qn"},
        ScanCase{L"/MsiArgs '/qb'", L"/qb"},
        ScanCase{L"-msiargs /qb", L""},
        ScanCase{L"-msiargs \"\"", L""},
        ScanCase{L"-msiargs \"abc", L""},
        ScanCase{L"-msiargs", L""},
        ScanCase{L"-quiet -msiargs \"X\"", L"X"},
        ScanCase{L"-msiargs \"X\" -quiet", kQuiet},
        ScanCase{L"-quiet -msiargs \"\"", L""},
        ScanCase{L"-msiargs \"a -quiet b\"", L"a -quiet b"},
        ScanCase{L"setup-quiet", kQuiet},
        ScanCase{L"-quiet\t-x", L""},
        // Cases beyond the minimum.
        ScanCase{L"C:/tools/quiet", kQuiet},               // a path written with solidi names the switch
        ScanCase{L"-msiargs \t \"/qn /l*v x.log\"", L"/qn /l*v x.log"}, // blanks before the delimiter
        ScanCase{L"-msiargs \t ", L""},                    // only blanks after the name
        ScanCase{L"-msiargs \"abc -quiet", kQuiet},          // no closing delimiter: scan goes on after the name
        ScanCase{L"-msiargs \"", L""},                     // the delimiter is the last character
        ScanCase{L"-quiet=1", L""},
        ScanCase{L"-\x0130quiet", L""},                    // only A-Z fold: a dotted capital I is no "i"
        ScanCase{L"-msiargs\"X\"\"Y\"", L"X"},               // no escape for the delimiter
        ScanCase{L"-msiargs \"first\" -msiargs \"second\"", L"second"},
        ScanCase{L"quiet", L""},                           // no prefix, no switch
        ScanCase{L"-MSIARGS |/qn|", L"/qn"}));

struct BlankCase {
    std::wstring text;
    int expected;
};

TEST(FindFirstNonBlank, Table)
{
    const BlankCase cases[] = {{L"", -1}, {L" ", -1}, {L" \t \t", -1}, {L"x", 0}, {L" \tx ", 2}, {L"\r", 0}, {L"\n x", 0}};
    for (const BlankCase& c : cases)
        EXPECT_EQ(c.expected, FindFirstNonBlank(c.text)) << c.text.size();
}

TEST(SwitchScan, LeavesArgumentsAloneWhenNoSwitchYieldsAValue)
{
    std::wstring args = L"earlier";
    ScanSwitches(L"-msiargs -other plain text", args);
    EXPECT_EQ(L"earlier", args);
}

} // namespace
