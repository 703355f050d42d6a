// The run log of whole launcher runs: what it records, in order, and that a
// log that cannot be written leaves the run exactly as it is without one.
// The launcher carries the stand-in as "VC2005_REDIST_32" and "UNINST" and no
// package, so a run that reaches the package installation ends with the code
// of the missing resource and one diagnostic line.
#include <gtest/gtest.h>

#include <algorithm>

#include <string>
#include <vector>

#include "framework/unique_handle.h"
#include "tests/support/test_support.h"
#include "tests/support/whole_run.h"

namespace {

using testing_support::PathExists;
using testing_support::WholeRun;

const DWORD kNoPackage = ERROR_RESOURCE_TYPE_NOT_FOUND;
const wchar_t kLauncher[] = L"launcher_log";

// The log's lines, decoded from UTF-8; empty when it cannot be read.
std::vector<std::wstring> ReadLog(const std::wstring& path)
{
    std::vector<std::wstring> lines;
    const std::wstring text = testing_support::ReadUtf8File(path);
    size_t from = 0;
    for (size_t end = text.find(L"\r\n"); end != std::wstring::npos; end = text.find(L"\r\n", from)) {
        lines.push_back(text.substr(from, end - from));
        from = end + 2;
    }
    EXPECT_EQ(text.size(), from) << "the last line has no CR LF";
    return lines;
}

// Each of `expected` is the start of a line of `lines`, in this order (other
// lines may come between them).
::testing::AssertionResult InOrder(const std::vector<std::wstring>& lines, const std::vector<std::wstring>& expected)
{
    size_t at = 0;
    for (const std::wstring& head : expected) {
        while (at < lines.size() && lines[at].compare(0, head.size(), head) != 0)
            ++at;
        if (at == lines.size())
            return ::testing::AssertionFailure()
                   << "no line starting \"" << testing_support::WideToUtf8(head) << "\" in order";
        ++at;
    }
    return ::testing::AssertionSuccess();
}

std::wstring Joined(const std::vector<std::wstring>& lines)
{
    std::wstring all;
    for (const std::wstring& line : lines)
        all += line + L"\n";
    return all;
}

TEST(RunLog, RecordsTheWholeRunInOrder)
{
    WholeRun run;
    // A name outside ASCII shows that the log is UTF-8.
    const std::wstring log = run.folder() / L"setup-\u00e9\u4e2d.log";
    const auto result = run.Run(kLauncher, L"-quiet -log \"" + log + L"\"");
    ASSERT_TRUE(result.started);
    ASSERT_FALSE(result.timedOut);
    EXPECT_EQ(kNoPackage, result.exitCode);

    const std::vector<std::wstring> lines = ReadLog(log);
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(L"Launcher version " ORBELLE_TEST_LAUNCHER_VERSION, lines[0]);
    EXPECT_EQ(L"Command line: " + testing_support::Launcher(kLauncher) + L" -quiet -log \"" + log + L"\"", lines[1]);
    EXPECT_EQ(L"WOW64: false", lines[2]);
    EXPECT_TRUE(InOrder(lines, {L"Step Confirm: true", L"Child: \"", L"Child exit code: 0", L"Step InstallVCRedist: 0",
                                L"Child: \"", L"Child exit code: 0", L"Step RunLegacyUninstallers: 0",
                                L"Step TerminateTrayHelpers: ", L"Step RemovePreviousProducts: ",
                                L"Step DetectInstalledVersion: ", L"Step ControlDeviceMonitorService: ",
                                L"Step BackupDriverSettings: ", L"Diagnostic: LocateResource failed (1813)",
                                L"Step InstallProductPackage: 1813", L"Step DeleteSettingsBackup: ",
                                L"Step DeleteWorkFolder: done", L"Exit code: 1813"}))
        << testing_support::WideToUtf8(Joined(lines));
    EXPECT_EQ(L"Exit code: 1813", lines.back());
    // Each payload's name, size and digest, before its child starts; the
    // digest as the build computed it for this launcher's digest resource.
    std::vector<std::uint8_t> digests;
    ASSERT_TRUE(testing_support::ReadFileBytes(ORBELLE_TEST_LOG_DIGESTS, digests));
    const std::string firstLine(digests.begin(), std::find(digests.begin(), digests.end(), '\n'));
    const std::string redistHead = "VC2005_REDIST_32 ";
    ASSERT_EQ(redistHead.size() + 64u, firstLine.size()) << firstLine;
    const std::wstring standinDigest(firstLine.begin() + redistHead.size(), firstLine.end());
    std::vector<std::uint8_t> standin;
    ASSERT_TRUE(testing_support::ReadFileBytes(testing_support::BinDir() + L"\\standin.exe", standin));
    for (const wchar_t* payload : {L"VC2005_REDIST_32", L"UNINST"}) {
        EXPECT_TRUE(InOrder(lines, {std::wstring(L"Payload ") + payload + L": " + std::to_wstring(standin.size()) +
                                        L" bytes, SHA-256 " + standinDigest,
                                    L"Child: \""}))
            << testing_support::WideToUtf8(Joined(lines));
    }
    // The child lines name the programs with their arguments.
    const std::wstring all = Joined(lines);
    EXPECT_NE(std::wstring::npos, all.find(L"vcredist_x86.exe\" ")) << testing_support::WideToUtf8(all);
    EXPECT_NE(std::wstring::npos, all.find(L"kv_isu.exe\" ")) << testing_support::WideToUtf8(all);
}

TEST(RunLog, AFailingChildEndsTheLogWithItsCode)
{
    WholeRun run;
    const std::wstring log = run.folder() / L"setup.log";
    const auto result = run.Run(kLauncher, L"-log '" + log + L"'", {{L"STANDIN_EXIT_vcredist_x86", L"1603"}});
    ASSERT_TRUE(result.started);
    EXPECT_EQ(1603u, result.exitCode);
    const std::vector<std::wstring> lines = ReadLog(log);
    EXPECT_TRUE(InOrder(lines, {L"Child: \"", L"Child exit code: 1603", L"Step InstallVCRedist: 1603",
                                L"Step DeleteWorkFolder: done", L"Exit code: 1603"}))
        << testing_support::WideToUtf8(Joined(lines));
    EXPECT_EQ(std::wstring::npos, Joined(lines).find(L"Step TerminateTrayHelpers")) << "the main path ran";
}

// Runs that differ only in their log: one without, one whose log cannot be
// created, one whose log is held open by another program. All three end the
// same way with the same output.
TEST(RunLog, ALogThatCannotBeWrittenChangesNothing)
{
    WholeRun run;
    const auto plain = run.Run(kLauncher);
    ASSERT_TRUE(plain.started);
    EXPECT_EQ(kNoPackage, plain.exitCode);
    EXPECT_EQ("LocateResource failed (1813)\r\n", plain.output);

    const std::wstring missingFolder = run.folder() / L"no such folder\\setup.log";
    const auto unopened = run.Run(kLauncher, L"-quiet -log \"" + missingFolder + L"\"");
    EXPECT_EQ(plain.exitCode, unopened.exitCode);
    EXPECT_EQ(plain.output, unopened.output);
    EXPECT_FALSE(PathExists(missingFolder));

    const std::wstring held = run.folder() / L"held.log";
    UniqueFileHandle holder(CreateFileW(held.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    ASSERT_TRUE(holder.valid());
    const auto blocked = run.Run(kLauncher, L"-quiet -log \"" + held + L"\"");
    holder.reset();
    EXPECT_EQ(plain.exitCode, blocked.exitCode);
    EXPECT_EQ(plain.output, blocked.output);
}

// Another account's link in the log's place: here a second hard link of a
// file the elevated launcher must not touch (Wine makes no symbolic links,
// docs/WINE.md). The file keeps its bytes, and the run is the run without a
// log.
TEST(RunLog, ALinkInTheLogsPlaceLeavesWhatItNamesAsItWas)
{
    WholeRun run;
    const auto plain = run.Run(kLauncher);
    ASSERT_TRUE(plain.started);

    const std::wstring precious = run.folder() / L"precious.ini";
    const std::vector<std::uint8_t> contents = {'[', 'k', 'e', 'e', 'p', ']', '\r', '\n'};
    ASSERT_TRUE(testing_support::WriteFileBytes(precious, contents));
    const std::wstring log = run.folder() / L"setup.log";
    ASSERT_TRUE(CreateHardLinkW(log.c_str(), precious.c_str(), nullptr));
    const auto linked = run.Run(kLauncher, L"-quiet -log \"" + log + L"\"");
    EXPECT_EQ(plain.exitCode, linked.exitCode);
    EXPECT_EQ(plain.output, linked.output);
    std::vector<std::uint8_t> after;
    ASSERT_TRUE(testing_support::ReadFileBytes(precious, after));
    EXPECT_EQ(contents, after) << "the launcher wrote through the link";
}

TEST(RunLog, WithoutTheSwitchNothingIsWritten)
{
    WholeRun run;
    const auto result = run.Run(kLauncher);
    ASSERT_TRUE(result.started);
    // The run's only files are the stand-in's own records: nothing beside
    // them, and nothing in the launcher's temporary folder.
    EXPECT_EQ((std::vector<std::wstring>{L"children.log", L"tmp"}), testing_support::ListNames(run.folder().path()));
    EXPECT_TRUE(result.leftNothing);
}

} // namespace
