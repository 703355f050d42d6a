// Two launchers started at once. Without a guard both would run side by side:
// both redistributables at once, both writing the one package file, and the
// first run's removal of the settings backup while the second run's package
// installs. The launcher takes a machine-wide lock for its whole run; a second
// launcher ends at once with exit_code::kAnotherRunInProgress (1618) and
// changes nothing. An object of the lock's name that another account made
// first is no launcher's lock and blocks no run.
#include <windows.h>
#include <sddl.h>

#include <string>

#include "fault_fixtures.h"
#include "framework/unique_handle.h"
#include "launcher/exit_codes.h"

namespace faults {
namespace {

using testing_support::WholeRun;

// This launcher carries the stand-in as its 32-bit redistributable and no
// package: a run that gets past the redistributable ends at the package step.
const DWORD kReachedTheEnd = ERROR_RESOURCE_TYPE_NOT_FOUND;

class ConcurrentRuns : public FaultScenario {
  protected:
    // Starts the first launcher (of m_run); it stops in its redistributable
    // until that is killed. Returns the owner of its process handle.
    UniqueKernelHandle StartFirst()
    {
        UniqueKernelHandle first =
            m_run.Start(L"faults_launcher_redist", L"-quiet", {{L"STANDIN_WAIT_vcredist_x86", L"1"}}, &m_firstPid);
        EXPECT_TRUE(first.valid());
        EXPECT_TRUE(WaitForRecords(m_run.log(), 1, 120000)) << "the first launcher's redistributable did not start";
        return first;
    }
    void TearDown() override
    {
        KillProcesses(L"vcredist_x86.exe", 0, 0);
        FaultScenario::TearDown();
    }
    DWORD m_firstPid = 0;
};

TEST_F(ConcurrentRuns, TheSecondLauncherRefusesAtOnceAndChangesNothing)
{
    const UniqueKernelHandle first = StartFirst();
    ASSERT_TRUE(first.valid());

    // Another launcher, with a log and a temporary folder of its own.
    const WholeRun secondRun;
    const auto second = secondRun.Run(L"faults_launcher_redist");
    ASSERT_TRUE(second.started);
    ASSERT_FALSE(second.timedOut);
    EXPECT_EQ(static_cast<DWORD>(exit_code::kAnotherRunInProgress), second.exitCode);
    EXPECT_EQ("", second.output);
    EXPECT_TRUE(second.children.empty()) << "the second launcher ran a program";
    EXPECT_TRUE(second.leftNothing) << "the second launcher made a work folder";

    // The first run goes on undisturbed once its redistributable ends.
    EXPECT_EQ(1u, KillProcesses(L"vcredist_x86.exe", m_firstPid, 0));
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(first.get(), 120000));
    DWORD code = 0;
    GetExitCodeProcess(first.get(), &code);
    EXPECT_EQ(kReachedTheEnd, code);
    EXPECT_TRUE(m_run.LeftNothing());

    // With the first run over, the next launcher runs.
    const WholeRun thirdRun;
    const auto third = thirdRun.Run(L"faults_launcher_redist");
    EXPECT_EQ(kReachedTheEnd, third.exitCode);
    EXPECT_EQ(1u, m_run.Records().size());
    EXPECT_EQ(1u, third.children.size());
    ExpectSettingsIntact("after two launchers at once");
}

TEST_F(ConcurrentRuns, AKilledLauncherDoesNotBlockTheNextRun)
{
    UniqueKernelHandle first = StartFirst();
    ASSERT_TRUE(first.valid());
    ASSERT_TRUE(TerminateProcess(first.get(), 1));
    WaitForSingleObject(first.get(), 30000);
    first.reset();
    KillProcesses(L"vcredist_x86.exe", m_firstPid, 0);

    const WholeRun nextRun;
    const auto next = nextRun.Run(L"faults_launcher_redist");
    ASSERT_TRUE(next.started);
    EXPECT_EQ(kReachedTheEnd, next.exitCode) << "the lock of the killed launcher was not taken over";
    EXPECT_EQ(1u, m_run.Records().size());
    EXPECT_EQ(1u, next.children.size());
    ExpectSettingsIntact("after a killed launcher and the next run");
}

// Objects of the lock's name as another account could make them first, before
// any launcher runs; Wine keeps and enforces their security (docs/WINE.md)
// and accepts a foreign owner in a descriptor.
struct SquatterCase {
    const char* story;
    const wchar_t* sddl;
    bool held; // the test process holds it (a launcher would see it taken)
};

class LockSquatter : public ConcurrentRuns, public ::testing::WithParamInterface<SquatterCase> {};

TEST_P(LockSquatter, DoesNotMakeTheRunRefuse)
{
    const SquatterCase& c = GetParam();
    PSECURITY_DESCRIPTOR built = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(c.sddl, SDDL_REVISION_1, &built, nullptr));
    const UniqueLocalMemory descriptor(built);
    SECURITY_ATTRIBUTES attributes = {sizeof(attributes), descriptor.get(), FALSE};
    const UniqueKernelHandle squatter(CreateMutexW(&attributes, c.held, product::kSingleRunMutex));
    ASSERT_TRUE(squatter.valid()) << c.story;
    ASSERT_NE(static_cast<DWORD>(ERROR_ALREADY_EXISTS), GetLastError()) << "a launcher's lock is still there";

    const std::wstring log = m_run.folder() / L"setup.log";
    const auto run = m_run.Run(L"faults_launcher_redist", L"-quiet -log \"" + log + L"\"");
    ASSERT_TRUE(run.started);
    EXPECT_EQ(kReachedTheEnd, run.exitCode) << c.story << ": the run did not go on";
    EXPECT_EQ(1u, run.children.size()) << c.story;
    EXPECT_NE(std::wstring::npos,
              testing_support::ReadUtf8File(log).find(L"Lock: another account's object, none taken"))
        << c.story;
    if (c.held)
        ReleaseMutex(squatter.get());
    ExpectSettingsIntact(c.story);
}

INSTANTIATE_TEST_SUITE_P(Table, LockSquatter,
                         ::testing::Values(SquatterCase{"a deny-all DACL", L"D:(D;;GA;;;WD)", false},
                                           SquatterCase{"a standard user's, open to everyone, and held",
                                                        L"O:S-1-5-21-1-2-3-1001D:(A;;GA;;;WD)", true}));

} // namespace
} // namespace faults
