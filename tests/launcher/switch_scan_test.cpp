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
    EXPECT_TRUE(app.m_strLogPath.empty()) << "no row here names the log";
}

const std::wstring kQuiet = L"/i $MSIPATH /quiet";

INSTANTIATE_TEST_SUITE_P(
    Table, SwitchScan,
    ::testing::Values(
        ScanCase{L"", L""}, ScanCase{L"/quiet", kQuiet}, ScanCase{L"-QUIET", kQuiet}, ScanCase{L"--quiet", kQuiet},
        ScanCase{L"-quiet:yes", L""}, ScanCase{L"-msiargs \"/i $MSIPATH /qn\"", L"/i $MSIPATH /qn"},
        ScanCase{L"-msiargs\"/i $MSIPATH /qn\"", L"/i $MSIPATH /qn"}, ScanCase{L"/MsiArgs '/qb'", L"/qb"},
        ScanCase{L"-msiargs /qb", L""}, ScanCase{L"-msiargs \"\"", L""}, ScanCase{L"-msiargs \"abc", L""},
        ScanCase{L"-msiargs", L""}, ScanCase{L"-quiet -msiargs \"X\"", L"X"},
        ScanCase{L"-msiargs \"X\" -quiet", kQuiet}, ScanCase{L"-quiet -msiargs \"\"", L""},
        ScanCase{L"-msiargs \"a -quiet b\"", L"a -quiet b"}, ScanCase{L"setup-quiet", kQuiet},
        ScanCase{L"-quiet\t-x", L""},
        // Cases beyond the minimum.
        ScanCase{L"C:/tools/quiet", kQuiet},                            // a path written with solidi names the switch
        ScanCase{L"-msiargs \t \"/qn /l*v x.log\"", L"/qn /l*v x.log"}, // blanks before the delimiter
        ScanCase{L"-msiargs \t ", L""},                                 // only blanks after the name
        ScanCase{L"-msiargs \"abc -quiet", kQuiet},                 // no closing delimiter: scan goes on after the name
        ScanCase{L"-msiargs \"", L""},                              // the delimiter is the last character
        ScanCase{L"-quiet=1", L""}, ScanCase{L"-\x0130quiet", L""}, // only A-Z fold: a dotted capital I is no "i"
        ScanCase{L"-msiargs\"X\"\"Y\"", L"X"},                      // no escape for the delimiter
        ScanCase{L"-msiargs \"first\" -msiargs \"second\"", L"second"}, ScanCase{L"quiet", L""}, // no prefix, no switch
        ScanCase{L"-MSIARGS |/qn|", L"/qn"}));

struct BlankCase {
    std::wstring text;
    int expected;
};

TEST(FindFirstNonBlank, Table)
{
    const BlankCase cases[] = {{L"", -1},     {L" ", -1}, {L" \t \t", -1}, {L"x", 0},
                               {L" \tx ", 2}, {L"\r", 0}, {L"\n x", 0}};
    for (const BlankCase& c : cases)
        EXPECT_EQ(c.expected, FindFirstNonBlank(c.text)) << c.text.size();
}

// The switch "log" beside the others: its value is delimited as that of
// "msiargs", and it never changes the installer arguments: they are what the
// scan of "quiet" and "msiargs" alone gives, whatever "log" says.
struct LogCase {
    const char* story;
    std::wstring tail;
    std::wstring msiArgs;
    std::wstring logPath;
};

void PrintTo(const LogCase& c, std::ostream* os)
{
    *os << c.story;
}

class LogSwitch : public ::testing::TestWithParam<LogCase> {};

TEST_P(LogSwitch, SetsTheLogPathAndNeverChangesTheInstallerArguments)
{
    CInstallerLauncher app;
    app.m_lpCmdLine = GetParam().tail.c_str();
    ParseCommandLine(app);
    EXPECT_EQ(GetParam().msiArgs, app.m_strMsiArgs);
    EXPECT_EQ(GetParam().logPath, app.m_strLogPath);
    std::wstring alone;
    ScanSwitches(GetParam().tail, alone);
    EXPECT_EQ(alone, app.m_strMsiArgs) << "the installer arguments differ from the scan without the log";
}

INSTANTIATE_TEST_SUITE_P(
    Table, LogSwitch,
    ::testing::Values(
        LogCase{"a quoted path", L"-log \"C:\\logs\\setup.log\"", L"", L"C:\\logs\\setup.log"},
        LogCase{"beside quiet", L"-quiet /LOG \"C:\\a b\\setup.log\"", kQuiet, L"C:\\a b\\setup.log"},
        LogCase{"no blank before a double quote", L"-log\"x.log\" -quiet", kQuiet, L"x.log"},
        LogCase{"any delimiter", L"-log 'x.log' -quiet", kQuiet, L"x.log"},
        LogCase{"a quote right after the name is part of the name", L"-log'x.log'", L"", L""},
        LogCase{"prefixes inside the value start no switch", L"-log \"C:\\setup-quiet.log\"", L"",
                L"C:\\setup-quiet.log"},
        LogCase{"inside an msiargs value it stays part of it", L"-msiargs \"/qn -log \'x\'\"", L"/qn -log 'x'", L""},
        LogCase{"an msiargs inside the log value is still a switch", L"-log \"-msiargs 'y'\"", L"y", L"-msiargs 'y'"},
        LogCase{"a log path holding -quiet also sets the quiet installation", L"-log \"C:\\my-quiet setup.log\"",
                kQuiet, L"C:\\my-quiet setup.log"},
        LogCase{"a log without a value does not swallow the switches after it", L"/log /quiet /norestart", kQuiet,
                L"quiet "},
        LogCase{"a log delimited by a prefix without a partner", L"-log -quiet", kQuiet, L""},
        LogCase{"the log between quiet and msiargs", L"-quiet -log \"x.log\" -msiargs \"/qn\"", L"/qn", L"x.log"},
        LogCase{"an msiargs that a log value swallows still counts", L"-log \"a -msiargs \"/qb\"", L"/qb",
                L"a -msiargs "},
        LogCase{"the last one wins", L"-log \"a\" -log \"b\"", L"", L"b"},
        LogCase{"without a closing delimiter: no log", L"-log \"C:\\x.log", L"", L""},
        LogCase{"without a value: no log", L"-log", L"", L""}, LogCase{"an empty value", L"-log \"\"", L"", L""},
        LogCase{"a longer name is another switch", L"-logfile \"x\"", L"", L""},
        LogCase{"a tab ends no name", L"-log\t\"x\"", L"", L""}));

TEST(SwitchScan, LeavesArgumentsAloneWhenNoSwitchYieldsAValue)
{
    std::wstring args = L"earlier";
    ScanSwitches(L"-msiargs -other plain text", args);
    EXPECT_EQ(L"earlier", args);
}

} // namespace
