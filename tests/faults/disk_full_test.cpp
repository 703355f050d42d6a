// The temporary folder on a disk that fills up while a payload program is
// written. The harness mounts a 1 MiB tmpfs (small_disk.sh, a CTest fixture)
// and names it in ORBELLE_SMALL_DISK; Wine shows it through drive Z:. The
// launcher carries as its 32-bit redistributable the stand-in program padded
// to about 3 MiB: runnable when whole, and too large for the small disk.
#include <string>

#include "fault_fixtures.h"
#include "launcher/exit_codes.h"

namespace faults {
namespace {

// The small disk as a Windows path, or empty outside the harness.
std::wstring SmallDisk()
{
    wchar_t unixPath[1024] = {};
    const DWORD n = GetEnvironmentVariableW(L"ORBELLE_SMALL_DISK", unixPath, 1024);
    if (n == 0 || n >= 1024)
        return L"";
    std::wstring path = L"Z:" + std::wstring(unixPath, n);
    for (wchar_t& c : path) {
        if (c == L'/')
            c = L'\\';
    }
    return path;
}

class DiskFull : public FaultScenario {};

TEST_F(DiskFull, ThePartialProgramNeverRunsAndTheWorkFolderIsRemoved)
{
    const std::wstring disk = SmallDisk();
    ASSERT_FALSE(disk.empty()) << "ORBELLE_SMALL_DISK is not set: run through CTest";
    ASSERT_TRUE(ListNames(disk).empty()) << "the small disk is not empty";

    const auto result =
        m_run.Run(L"faults_launcher_big_redist", L"-quiet", {{L"TMP", disk + L"\\"}, {L"TEMP", disk + L"\\"}});
    ASSERT_TRUE(result.started);
    ASSERT_FALSE(result.timedOut);
    EXPECT_EQ("WriteFile failed (112)\r\n", result.output);
    EXPECT_EQ(static_cast<DWORD>(ERROR_DISK_FULL), result.exitCode);
    EXPECT_TRUE(result.children.empty()) << "the partly written program was started";
    EXPECT_TRUE(ListNames(disk).empty()) << "the work folder or the partial file was left on the small disk";
    ExpectSettingsIntact("after the disk filled up");
}

// The same launcher with room to write: the padded program does run, so the
// run above stopped because of the full disk and nothing else.
TEST_F(DiskFull, WithRoomThePaddedProgramRuns)
{
    const auto result = m_run.Run(L"faults_launcher_big_redist");
    ASSERT_TRUE(result.started);
    ASSERT_FALSE(result.timedOut);
    const auto& records = result.children;
    ASSERT_EQ(1u, records.size());
    EXPECT_EQ(L"vcredist_x86.exe", records[0].program);
    // This launcher carries no package: the run ends at the package step.
    EXPECT_EQ(static_cast<DWORD>(ERROR_RESOURCE_TYPE_NOT_FOUND), result.exitCode);
    EXPECT_TRUE(result.leftNothing);
    ExpectSettingsIntact("after a run with room");
}

} // namespace
} // namespace faults
