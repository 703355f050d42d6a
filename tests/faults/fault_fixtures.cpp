#include "fault_fixtures.h"

#include "launcher/product_constants.h"
#include "tests/support/value_records.h"

using testing_support::PathExists;
using testing_support::RemoveDriverTraces;

namespace faults {

std::wstring SettingsKeyPath()
{
    return std::wstring(product::kDriverRoot) + L"\\" + product::kDriverGuid;
}

std::wstring BackupKeyPath()
{
    return std::wstring(product::kDriverRoot) + L"\\" + product::kSettingsBackupPrefix + product::kDriverGuid;
}

KeySnapshot SampleSettings()
{
    KeySnapshot settings;
    settings.exists = true;
    settings.values[L"OutputName"] = TextValue(L"Main Out 1/2");
    settings.values[L"RateNoTerminator"] = ValueSnapshot{REG_SZ, WideBytes(L"48k", false)};
    settings.values[L"BufferSize"] = ValueSnapshot{REG_DWORD, {0x00, 0x01, 0, 0}}; // 256
    settings.values[L"Enabled"] = ValueSnapshot{REG_BINARY, testing_support::kBoolTrueRecord};
    settings.values[L"Inputs"] = ValueSnapshot{REG_MULTI_SZ, WideBytes(std::wstring(L"In 1\0In 2\0", 10), true)};
    settings.values[L""] = TextValue(L"");
    KeySnapshot& device = settings.subkeys[testing_support::kDeviceKeyName];
    device.exists = true;
    KeySnapshot& instance = device.subkeys[L"Instances"].subkeys[L"0001"];
    device.subkeys[L"Instances"].exists = true;
    instance.exists = true;
    instance.values[L"LastSeen"] = ValueSnapshot{REG_QWORD, {0xF6, 0xE5, 0xD4, 0xC3, 0xB2, 0xA1, 0xD9, 0x01}};
    return settings;
}

void FaultScenario::SetUp()
{
    // Every whole launcher run leaves the driver's keys behind, empty at
    // least (it opens them with open-or-create), and a run that reaches the
    // package step leaves the installers folder; not every earlier test
    // program removes them (preparation_run_test does not): start from none.
    ASSERT_TRUE(RemoveDriverTraces());
    ASSERT_FALSE(PathExists(MakerFolder()));
    m_settings = SampleSettings();
    ASSERT_TRUE(WriteSnapshot(SettingsKeyPath(), m_settings));
    ASSERT_EQ(L"", FirstDifference(m_settings, TakeSnapshot(SettingsKeyPath())));
}

void FaultScenario::TearDown()
{
    EXPECT_TRUE(RemoveDriverTraces());
}

void FaultScenario::ExpectSettingsIntact(const char* when)
{
    EXPECT_EQ(L"", FirstDifference(m_settings, TakeSnapshot(SettingsKeyPath())))
        << when << ": the settings key changed";
    EXPECT_FALSE(TakeSnapshot(BackupKeyPath()).exists) << when << ": the backup key was left behind";
}

StandinInstaller::StandinInstaller(const testing_support::TempDir& folder)
    : m_opener(folder / L"package_opener.exe"), m_openAction(L"\"" + m_opener + L"\" \"%1\"")
{
    if (!m_msiexec.ok())
        ADD_FAILURE() << "the stand-in msiexec is not in place: WINEDLLOVERRIDES must hold msiexec.exe=n,b (run "
                         "through CTest)";
    m_ok = m_msiexec.ok() && testing_support::CopyStandin(m_opener) && m_openAction.ok();
}

RunStoppedInInstaller::~RunStoppedInInstaller()
{
    if (m_process) {
        TerminateProcess(m_process.get(), 0xDEAD);
        WaitForSingleObject(m_process.get(), 10000);
    }
    if (m_pid)
        KillProcesses(L"msiexec.exe", m_pid, 0);
}

bool RunStoppedInInstaller::Start(const wchar_t* launcher)
{
    const size_t before = m_run.Records().size();
    m_process = m_run.Start(launcher, L"-quiet", {{L"STANDIN_WAIT_msiexec", L"1"}}, &m_pid);
    if (!m_process)
        return false;
    const ULONGLONG deadline = GetTickCount64() + 300000;
    while (GetTickCount64() < deadline) {
        const auto records = m_run.Records();
        for (size_t i = before; i < records.size(); ++i) {
            if (records[i].program == L"msiexec.exe")
                return true;
        }
        if (WaitForSingleObject(m_process.get(), 100) == WAIT_OBJECT_0)
            return false;
    }
    return false;
}

DWORD RunStoppedInInstaller::Finish(UINT installerCode)
{
    KillProcesses(L"msiexec.exe", m_pid, installerCode);
    DWORD code = 0xFFFFFFFF;
    if (WaitForSingleObject(m_process.get(), 300000) == WAIT_OBJECT_0)
        GetExitCodeProcess(m_process.get(), &code);
    m_process.reset();
    return code;
}

void RunStoppedInInstaller::KillLauncher()
{
    TerminateProcess(m_process.get(), 1);
    WaitForSingleObject(m_process.get(), 30000);
    m_process.reset();
    KillProcesses(L"msiexec.exe", m_pid, 1);
}

} // namespace faults
