#include "fault_fixtures.h"

#include <shlobj.h>
#include <tlhelp32.h>

#include "launcher/product_constants.h"

using testing_support::BinDir;
using testing_support::PathExists;
using testing_support::RemoveTree;

namespace faults {

namespace {

const wchar_t kOpenCommandKey[] = L"Msi.Package\\shell\\Open\\command";

std::wstring ReadDefaultString(HKEY root, const wchar_t* path)
{
    wchar_t buffer[1024] = {};
    DWORD size = sizeof(buffer) - sizeof(wchar_t);
    if (RegGetValueW(root, path, nullptr, RRF_RT_REG_SZ, nullptr, buffer, &size) != ERROR_SUCCESS)
        return L"";
    return buffer;
}

bool WriteDefaultString(HKEY root, const wchar_t* path, const std::wstring& value)
{
    return RegSetKeyValueW(root, path, nullptr, REG_SZ, value.c_str(),
                           static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

} // namespace

std::wstring MakerKeyPath()
{
    return L"Software\\ZARO";
}

std::wstring SettingsKeyPath()
{
    return std::wstring(product::kDriverRoot) + L"\\" + product::kDriverGuid;
}

std::wstring BackupKeyPath()
{
    return std::wstring(product::kDriverRoot) + L"\\" + product::kSettingsBackupPrefix + product::kDriverGuid;
}

std::wstring Launcher(const wchar_t* name)
{
    return L"\"" + BinDir() + L"\\" + name + L".exe\"";
}

std::wstring MakerFolder()
{
    wchar_t buffer[MAX_PATH] = {};
    SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, buffer);
    return std::wstring(buffer) + L"\\ZARO";
}

std::wstring InstalledPackagePath()
{
    return MakerFolder() + L"\\Installers\\Orbelle\\ZaroInstaller.msi";
}

KeySnapshot SampleSettings()
{
    KeySnapshot settings;
    settings.exists = true;
    settings.values[L"OutputName"] = TextValue(L"Main Out 1/2");
    settings.values[L"RateNoTerminator"] = ValueSnapshot{REG_SZ, WideBytes(L"48k", false)};
    settings.values[L"BufferSize"] = ValueSnapshot{REG_DWORD, {0x00, 0x01, 0, 0}}; // 256
    settings.values[L"Enabled"] = ValueSnapshot{REG_BINARY, {0x0D, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 1}};
    settings.values[L"Inputs"] = ValueSnapshot{REG_MULTI_SZ, WideBytes(std::wstring(L"In 1\0In 2\0", 10), true)};
    settings.values[L""] = TextValue(L"");
    KeySnapshot& device = settings.subkeys[L"010203047E0B0000C0310000DEADBEEF"];
    device.exists = true;
    KeySnapshot& instance = device.subkeys[L"Instances"].subkeys[L"0001"];
    device.subkeys[L"Instances"].exists = true;
    instance.exists = true;
    instance.values[L"LastSeen"] = ValueSnapshot{REG_QWORD, {0xF6, 0xE5, 0xD4, 0xC3, 0xB2, 0xA1, 0xD9, 0x01}};
    return settings;
}

bool WaitForRecords(const std::wstring& log, size_t count, DWORD timeoutMs)
{
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    while (testing_support::ReadStandinLog(log).size() < count) {
        if (GetTickCount64() > deadline)
            return false;
        Sleep(100);
    }
    return true;
}

std::vector<DWORD> FindProcesses(const wchar_t* name, DWORD parentPid)
{
    std::vector<DWORD> found;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return found;
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL ok = Process32FirstW(snapshot, &entry); ok; ok = Process32NextW(snapshot, &entry)) {
        if (_wcsicmp(entry.szExeFile, name) == 0 && (parentPid == 0 || entry.th32ParentProcessID == parentPid))
            found.push_back(entry.th32ProcessID);
    }
    CloseHandle(snapshot);
    return found;
}

size_t KillProcesses(const wchar_t* name, DWORD parentPid, UINT exitCode)
{
    size_t killed = 0;
    for (DWORD pid : FindProcesses(name, parentPid)) {
        HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid);
        if (process == nullptr)
            continue;
        if (TerminateProcess(process, exitCode)) {
            WaitForSingleObject(process, 10000);
            ++killed;
        }
        CloseHandle(process);
    }
    return killed;
}

void FaultScenario::SetUp()
{
    // Every whole launcher run leaves the driver's keys behind, empty at
    // least (it opens them with open-or-create), and a run that reaches the
    // package step leaves the installers folder; not every earlier test
    // program removes them (preparation_run_test does not): start from none.
    ASSERT_TRUE(DeleteKeyTree(MakerKeyPath()));
    RemoveTree(MakerFolder());
    ASSERT_FALSE(PathExists(MakerFolder()));
    m_settings = SampleSettings();
    ASSERT_TRUE(WriteSnapshot(SettingsKeyPath(), m_settings));
    ASSERT_EQ(L"", FirstDifference(m_settings, TakeSnapshot(SettingsKeyPath())));
}

void FaultScenario::TearDown()
{
    EXPECT_TRUE(DeleteKeyTree(MakerKeyPath()));
    RemoveTree(MakerFolder());
}

void FaultScenario::ExpectSettingsIntact(const char* when)
{
    EXPECT_EQ(L"", FirstDifference(m_settings, TakeSnapshot(SettingsKeyPath())))
        << when << ": the settings key changed";
    EXPECT_FALSE(TakeSnapshot(BackupKeyPath()).exists) << when << ": the backup key was left behind";
}

StandinInstaller::StandinInstaller(const testing_support::TempDir& temp)
{
    wchar_t overrides[256] = {};
    GetEnvironmentVariableW(L"WINEDLLOVERRIDES", overrides, 256);
    if (wcsstr(overrides, L"msiexec.exe=n") == nullptr) {
        ADD_FAILURE() << "WINEDLLOVERRIDES must hold msiexec.exe=n,b: run through CTest";
        return;
    }
    wchar_t system[MAX_PATH] = {};
    GetSystemDirectoryW(system, MAX_PATH);
    m_msiexec = std::wstring(system) + L"\\msiexec.exe";
    m_backup = temp / L"msiexec.exe.original";
    const std::wstring standin = BinDir() + L"\\standin.exe";
    const std::wstring opener = temp / L"package_opener.exe";
    if (!CopyFileW(m_msiexec.c_str(), m_backup.c_str(), TRUE) || !CopyFileW(standin.c_str(), opener.c_str(), FALSE) ||
        !CopyFileW(standin.c_str(), m_msiexec.c_str(), FALSE)) {
        ADD_FAILURE() << "could not put the stand-in installer in place";
        return;
    }
    m_oldOpenCommand = ReadDefaultString(HKEY_CLASSES_ROOT, kOpenCommandKey);
    m_ok = WriteDefaultString(HKEY_CLASSES_ROOT, kOpenCommandKey, L"\"" + opener + L"\" \"%1\" [%*]");
}

StandinInstaller::~StandinInstaller()
{
    if (!m_oldOpenCommand.empty())
        WriteDefaultString(HKEY_CLASSES_ROOT, kOpenCommandKey, m_oldOpenCommand);
    if (!m_backup.empty() && PathExists(m_backup)) {
        EXPECT_TRUE(CopyFileW(m_backup.c_str(), m_msiexec.c_str(), FALSE)) << "msiexec.exe not restored";
    }
}

RunStoppedInInstaller::~RunStoppedInInstaller()
{
    if (m_process) {
        TerminateProcess(m_process, 0xDEAD);
        WaitForSingleObject(m_process, 10000);
        CloseHandle(m_process);
    }
    if (m_pid)
        KillProcesses(L"msiexec.exe", m_pid, 0);
}

bool RunStoppedInInstaller::Start(const wchar_t* launcher)
{
    const size_t before = testing_support::ReadStandinLog(m_log).size();
    CreateDirectoryW(m_tmp.c_str(), nullptr);
    testing_support::Environment env{
        {L"STANDIN_LOG", m_log}, {L"STANDIN_WAIT_msiexec", L"1"}, {L"TMP", m_tmp}, {L"TEMP", m_tmp}};
    m_process = testing_support::StartProcess(Launcher(launcher) + L" -quiet", env, &m_pid);
    if (m_process == nullptr)
        return false;
    const ULONGLONG deadline = GetTickCount64() + 300000;
    while (GetTickCount64() < deadline) {
        const auto records = testing_support::ReadStandinLog(m_log);
        for (size_t i = before; i < records.size(); ++i) {
            if (records[i].program == L"msiexec.exe")
                return true;
        }
        if (WaitForSingleObject(m_process, 100) == WAIT_OBJECT_0)
            return false;
    }
    return false;
}

DWORD RunStoppedInInstaller::Finish(UINT installerCode)
{
    KillProcesses(L"msiexec.exe", m_pid, installerCode);
    DWORD code = 0xFFFFFFFF;
    if (WaitForSingleObject(m_process, 300000) == WAIT_OBJECT_0)
        GetExitCodeProcess(m_process, &code);
    CloseHandle(m_process);
    m_process = nullptr;
    return code;
}

void RunStoppedInInstaller::KillLauncher()
{
    TerminateProcess(m_process, 1);
    WaitForSingleObject(m_process, 30000);
    CloseHandle(m_process);
    m_process = nullptr;
    KillProcesses(L"msiexec.exe", m_pid, 1);
}

} // namespace faults
