// The package file held open without sharing by another process, as a second
// launcher holds it while it writes the package: the launcher cannot write its
// package, says so, goes on to the end of its run, and loses nothing.
#include <shlobj.h>

#include <string>
#include <vector>

#include "framework/unique_handle.h"
#include "fault_fixtures.h"

namespace faults {
namespace {

using testing_support::ReadFileBytes;

class HeldPackage : public FaultScenario {};

TEST_F(HeldPackage, IsReportedAndTheRunGoesToItsEnd)
{
    ASSERT_EQ(ERROR_SUCCESS,
              SHCreateDirectoryExW(nullptr, (MakerFolder() + L"\\Installers\\Orbelle").c_str(), nullptr));
    // The package of an earlier run, held the way the launcher holds the file
    // while writing it: read and write access, no sharing.
    const std::string earlier = "package of an earlier run";
    UniqueFileHandle held(CreateFileW(InstalledPackagePath().c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                      CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(held.valid());
    DWORD written = 0;
    WriteFile(held.get(), earlier.data(), static_cast<DWORD>(earlier.size()), &written, nullptr);

    const auto result = m_run.Run(L"faults_launcher_package");
    held.reset();
    ASSERT_TRUE(result.started);
    ASSERT_FALSE(result.timedOut);

    EXPECT_EQ("CreateFile failed (32)\r\n", result.output);
    EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), result.exitCode);
    // The redistributable ran before the package step, and no installer after it.
    const auto& records = result.children;
    ASSERT_EQ(1u, records.size());
    EXPECT_EQ(L"vcredist_x86.exe", records[0].program);
    // The run went to its end: the work folder is gone.
    EXPECT_TRUE(result.leftNothing) << "the work folder was left behind";
    std::vector<std::uint8_t> bytes;
    ASSERT_TRUE(ReadFileBytes(InstalledPackagePath(), bytes));
    EXPECT_EQ(earlier, std::string(bytes.begin(), bytes.end())) << "the held package was changed";
    ExpectSettingsIntact("after the package could not be written");
}

} // namespace
} // namespace faults
