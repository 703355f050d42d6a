// Hostile command lines through whole launcher processes: the longest command
// line Windows passes on, unbalanced quotes, every control character but NUL
// (which a command line cannot carry), and empty switch values. Windows
// Installer and the shell's open action are recording stand-ins, so each case
// shows exactly what the launcher asked to run; the run must end normally.
#include <string>

#include "fault_fixtures.h"
#include "launcher/exit_codes.h"

namespace faults {
namespace {

// Command-line tails are at most this long here: with the launcher's path the
// whole command line stays below Windows' limit of 32,767 characters.
constexpr size_t kLongTail = 32000;

// Characters 1 to 31 and 127.
std::wstring Controls(bool withLineBreaksAndTab = true)
{
    std::wstring text;
    for (wchar_t c = 1; c < 32; ++c) {
        if (withLineBreaksAndTab || (c != L'\t' && c != L'\n' && c != L'\r'))
            text += c;
    }
    text += static_cast<wchar_t>(127);
    return text;
}

std::wstring Padded(const std::wstring& head, wchar_t fill, const std::wstring& tail)
{
    return head + std::wstring(kLongTail - head.size() - tail.size(), fill) + tail;
}

struct LineCase {
    const char* story;
    std::wstring tail;     // the command line after the launcher's quoted path and a blank
    const wchar_t* ran;    // "msiexec.exe" or "package_opener.exe"
    std::wstring expected; // its arguments; "@" stands for the package path
};

class HostileCommandLine : public FaultScenario, public ::testing::WithParamInterface<LineCase> {};

TEST_P(HostileCommandLine, EndsNormallyWithTheDocumentedInstallerCall)
{
    const LineCase& c = GetParam();
    StandinInstaller installer(m_run.folder());
    ASSERT_TRUE(installer.ok());
    const auto result = m_run.Run(L"faults_launcher_package", c.tail);
    ASSERT_TRUE(result.started) << c.story;
    ASSERT_FALSE(result.timedOut) << c.story;
    EXPECT_EQ(static_cast<DWORD>(exit_code::kSuccess), result.exitCode) << c.story;
    EXPECT_EQ("", result.output) << c.story;

    std::wstring expected = c.expected;
    for (size_t at = expected.find(L'@'); at != std::wstring::npos; at = expected.find(L'@', at))
        expected.replace(at, 1, InstalledPackagePath());
    const auto& records = result.children;
    // The redistributable first, then the one installer call.
    ASSERT_EQ(2u, records.size()) << c.story;
    EXPECT_EQ(L"vcredist_x86.exe", records[0].program) << c.story;
    EXPECT_EQ(c.ran, records[1].program) << c.story;
    EXPECT_EQ(expected.size(), records[1].arguments.size()) << c.story;
    EXPECT_TRUE(expected == records[1].arguments) << c.story;
    ExpectSettingsIntact(c.story);
}

const std::wstring kValue = L"/i $MSIPATH /quiet NOTE=";

INSTANTIATE_TEST_SUITE_P(
    Table, HostileCommandLine,
    ::testing::Values(
        LineCase{"-quiet after 32,000 characters of text", Padded(L"", L'x', L" -quiet"), L"msiexec.exe",
                 L"/i \"@\" /quiet"},
        LineCase{"a -msiargs value that fills 32,000 characters", Padded(L"-msiargs #" + kValue, L'v', L"#"),
                 L"msiexec.exe", L"/i \"@\" /quiet NOTE=" + std::wstring(kLongTail - 11 - kValue.size(), L'v')},
        LineCase{"32,000 switch characters and no switch name", std::wstring(kLongTail, L'-'), L"package_opener.exe",
                 L"\"@\""},
        LineCase{"32,000 double quotes before -quiet", Padded(L"", L'"', L" -quiet"), L"msiexec.exe",
                 L"/i \"@\" /quiet"},
        LineCase{"an unclosed -msiargs value leaves -quiet in force", L"-quiet -msiargs \"/i $MSIPATH /qn",
                 L"msiexec.exe", L"/i \"@\" /quiet"},
        LineCase{"unbalanced quotes around -quiet", L"\"\"\" -quiet \"", L"msiexec.exe", L"/i \"@\" /quiet"},
        LineCase{"an unclosed -msiargs value alone: the package's own user interface", L"-msiargs \"/qn",
                 L"package_opener.exe", L"\"@\""},
        LineCase{"every control character before and after -quiet", Controls() + L"-quiet " + Controls(),
                 L"msiexec.exe", L"/i \"@\" /quiet"},
        LineCase{"control characters inside a -msiargs value reach msiexec unchanged",
                 L"-msiargs #" + kValue + Controls(false) + L"#", L"msiexec.exe",
                 L"/i \"@\" /quiet NOTE=" + Controls(false)},
        LineCase{"a tab ends no switch name: \"-quiet<TAB>\" is not -quiet", L"-quiet\t", L"package_opener.exe",
                 L"\"@\""},
        LineCase{"an empty -msiargs followed by -quiet", L"-msiargs \"\" -quiet", L"msiexec.exe", L"/i \"@\" /quiet"},
        LineCase{"-quiet followed by an empty -msiargs: the empty value wins", L"-quiet -msiargs \"\"",
                 L"package_opener.exe", L"\"@\""}));

} // namespace
} // namespace faults
