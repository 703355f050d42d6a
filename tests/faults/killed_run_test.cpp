// The launcher killed while the package installs (a user ending the task, a
// deployment tool's time-out, a power cut). The copy of the settings must
// outlive it, and the next run must merge into that copy and then remove it.
#include <string>

#include "fault_fixtures.h"
#include "launcher/exit_codes.h"

namespace faults {
namespace {

class KilledRun : public FaultScenario {};

TEST_F(KilledRun, TheBackupSurvivesAndTheNextRunMergesIntoItAndDeletesIt)
{
    StandinInstaller installer(m_run.folder());
    ASSERT_TRUE(installer.ok());

    // First run: killed while Windows Installer works. (Its work folder stays
    // behind in a temporary folder of its own.)
    {
        const testing_support::WholeRun killed;
        RunStoppedInInstaller run(killed);
        ASSERT_TRUE(run.Start(L"faults_launcher_package"));
        EXPECT_EQ(L"", FirstDifference(m_settings, TakeSnapshot(BackupKeyPath())))
            << "the backup is not a copy of the settings";
        EXPECT_EQ(L"", FirstDifference(m_settings, TakeSnapshot(SettingsKeyPath())));
        run.KillLauncher();
    }
    EXPECT_EQ(L"", FirstDifference(m_settings, TakeSnapshot(BackupKeyPath()))) << "the backup did not survive";
    EXPECT_EQ(L"", FirstDifference(m_settings, TakeSnapshot(SettingsKeyPath())));

    // Between the runs the driver changes one setting and drops another.
    KeySnapshot changed = m_settings;
    const DWORD buffer = 512;
    changed.values[L"BufferSize"].bytes.assign(reinterpret_cast<const std::uint8_t*>(&buffer),
                                               reinterpret_cast<const std::uint8_t*>(&buffer) + sizeof(buffer));
    changed.values.erase(L"Inputs");
    ASSERT_TRUE(DeleteKeyTree(SettingsKeyPath()));
    ASSERT_TRUE(WriteSnapshot(SettingsKeyPath(), changed));
    m_settings = changed;

    // Second run: the backup holds the new settings and, merged in, what only
    // the old copy had.
    KeySnapshot merged = changed;
    merged.values[L"Inputs"] = SampleSettings().values[L"Inputs"];
    RunStoppedInInstaller run(m_run);
    ASSERT_TRUE(run.Start(L"faults_launcher_package"));
    EXPECT_EQ(L"", FirstDifference(merged, TakeSnapshot(BackupKeyPath()))) << "the backup is not the merge";
    EXPECT_EQ(L"", FirstDifference(m_settings, TakeSnapshot(SettingsKeyPath())));
    EXPECT_EQ(static_cast<DWORD>(exit_code::kSuccess), run.Finish(0));
    ExpectSettingsIntact("after the run that followed the killed one");
}

} // namespace
} // namespace faults
