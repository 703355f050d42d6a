#include "tests/support/test_support.h"

#include <rpc.h>
#include <tlhelp32.h>

#include <algorithm>

namespace testing_support {

std::wstring BinDir()
{
    wchar_t path[MAX_PATH * 4] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH * 4 - 1);
    std::wstring dir(path);
    return dir.substr(0, dir.find_last_of(L'\\'));
}

std::wstring Launcher(const std::wstring& name)
{
    return L"\"" + BinDir() + L"\\" + name + L".exe\"";
}

bool CopyStandin(const std::wstring& path, const std::wstring& programFolder)
{
    const std::wstring standin = (programFolder.empty() ? BinDir() : programFolder) + L"\\standin.exe";
    return CopyFileW(standin.c_str(), path.c_str(), FALSE) != FALSE;
}

std::wstring NewUuidText()
{
    UUID uuid;
    UniqueRpcString text;
    if (UuidCreate(&uuid) != RPC_S_OK || UuidToStringW(&uuid, text.put()) != RPC_S_OK)
        return L"";
    return reinterpret_cast<const wchar_t*>(text.get());
}

ScopedEnv::ScopedEnv(const wchar_t* name, const std::wstring& value) : m_name(name)
{
    wchar_t buffer[4096] = {};
    const DWORD n = GetEnvironmentVariableW(name, buffer, 4096);
    m_had = n > 0 && n < 4096;
    if (m_had)
        m_old.assign(buffer, n);
    SetEnvironmentVariableW(name, value.empty() ? nullptr : value.c_str());
}

ScopedEnv::~ScopedEnv()
{
    SetEnvironmentVariableW(m_name.c_str(), m_had ? m_old.c_str() : nullptr);
}

namespace {

std::vector<wchar_t> BuildEnvironmentBlock(const Environment& changes)
{
    std::map<std::wstring, std::wstring> vars;
    // No owner kind for an environment block: it is used and freed right here.
    wchar_t* block = GetEnvironmentStringsW();
    for (const wchar_t* p = block; p && *p; p += wcslen(p) + 1) {
        std::wstring entry(p);
        const size_t eq = entry.find(L'=', 1);
        if (eq != std::wstring::npos)
            vars[entry.substr(0, eq)] = entry.substr(eq + 1);
    }
    if (block)
        FreeEnvironmentStringsW(block);
    for (const auto& change : changes) {
        if (change.second.empty())
            vars.erase(change.first);
        else
            vars[change.first] = change.second;
    }
    std::vector<wchar_t> result;
    for (const auto& var : vars) {
        std::wstring entry = var.first + L"=" + var.second;
        result.insert(result.end(), entry.begin(), entry.end());
        result.push_back(L'\0');
    }
    result.push_back(L'\0');
    return result;
}

} // namespace

TempDir::TempDir()
{
    wchar_t temp[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH + 1, temp);
    m_path = std::wstring(temp) + L"orbelle-test-" + NewUuidText();
    CreateDirectoryW(m_path.c_str(), nullptr);
}

TempDir::~TempDir()
{
    RemoveTree(m_path);
}

std::vector<std::wstring> ListNames(const std::wstring& folder)
{
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW data;
    const UniqueFindHandle find(FindFirstFileW((folder + L"\\*").c_str(), &data));
    if (!find)
        return names;
    do {
        const std::wstring name = data.cFileName;
        if (name != L"." && name != L"..")
            names.push_back(name);
    } while (FindNextFileW(find.get(), &data));
    std::sort(names.begin(), names.end());
    return names;
}

bool PathExists(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool RemoveTree(const std::wstring& path)
{
    {
        // The search is closed before the folder itself is removed.
        WIN32_FIND_DATAW data;
        const UniqueFindHandle find(FindFirstFileW((path + L"\\*").c_str(), &data));
        if (find) {
            do {
                const std::wstring name = data.cFileName;
                if (name == L"." || name == L"..")
                    continue;
                const std::wstring child = path + L"\\" + name;
                if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                    RemoveTree(child);
                } else {
                    SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
                    DeleteFileW(child.c_str());
                }
            } while (FindNextFileW(find.get(), &data));
        }
    }
    RemoveDirectoryW(path.c_str());
    return !PathExists(path);
}

UniqueKernelHandle StartProcess(const std::wstring& commandLine, const Environment& env, DWORD* pid,
                                const std::wstring& workingDir)
{
    std::vector<wchar_t> block = BuildEnvironmentBlock(env);
    std::wstring mutableLine = commandLine;
    STARTUPINFOW si = {};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessW(nullptr, &mutableLine[0], nullptr, nullptr, FALSE, CREATE_UNICODE_ENVIRONMENT, block.data(),
                        workingDir.empty() ? nullptr : workingDir.c_str(), &si, &pi))
        return UniqueKernelHandle();
    const UniqueKernelHandle thread(pi.hThread);
    if (pid)
        *pid = pi.dwProcessId;
    return UniqueKernelHandle(pi.hProcess);
}

namespace {

// Appends what the pipe holds now to `output`, without blocking.
void DrainPipe(HANDLE readEnd, std::string& output)
{
    DWORD available = 0;
    while (PeekNamedPipe(readEnd, nullptr, 0, nullptr, &available, nullptr) && available > 0) {
        char buffer[4096];
        DWORD got = 0;
        if (!ReadFile(readEnd, buffer, sizeof(buffer), &got, nullptr) || got == 0)
            break;
        output.append(buffer, got);
    }
}

} // namespace

ProcessResult RunProcess(const std::wstring& commandLine, const Environment& env, DWORD timeoutMs,
                         const std::wstring& workingDir)
{
    ProcessResult result;
    SECURITY_ATTRIBUTES sa = {sizeof(sa), nullptr, TRUE};
    UniqueKernelHandle readEnd;
    UniqueKernelHandle writeEnd;
    if (!CreatePipe(readEnd.put(), writeEnd.put(), &sa, 0))
        return result;
    SetHandleInformation(readEnd.get(), HANDLE_FLAG_INHERIT, 0);

    std::vector<wchar_t> block = BuildEnvironmentBlock(env);
    std::wstring mutableLine = commandLine;
    STARTUPINFOW si = {};
    si.cb = sizeof(si);
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    si.hStdOutput = writeEnd.get();
    si.hStdError = writeEnd.get();
    PROCESS_INFORMATION pi = {};
    const BOOL created = CreateProcessW(nullptr, &mutableLine[0], nullptr, nullptr, TRUE, CREATE_UNICODE_ENVIRONMENT,
                                        block.data(), workingDir.empty() ? nullptr : workingDir.c_str(), &si, &pi);
    const DWORD createError = created ? 0 : GetLastError();
    writeEnd.reset(); // only the child holds the write end now
    if (!created) {
        result.startError = createError;
        return result;
    }
    result.started = true;
    const UniqueKernelHandle thread(pi.hThread);
    const UniqueKernelHandle process(pi.hProcess);

    // Read on this thread while waiting: a child that fills the pipe must not block.
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
        DrainPipe(readEnd.get(), result.output);
        if (WaitForSingleObject(process.get(), 50) == WAIT_OBJECT_0)
            break;
        if (GetTickCount64() > deadline) {
            TerminateProcess(process.get(), 0xDEAD);
            WaitForSingleObject(process.get(), 5000);
            result.timedOut = true;
            break;
        }
    }
    DrainPipe(readEnd.get(), result.output);
    GetExitCodeProcess(process.get(), &result.exitCode);
    return result;
}

std::vector<DWORD> FindProcesses(const wchar_t* name, DWORD parentPid)
{
    std::vector<DWORD> found;
    const UniqueSnapshotHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot)
        return found;
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL ok = Process32FirstW(snapshot.get(), &entry); ok; ok = Process32NextW(snapshot.get(), &entry)) {
        if (_wcsicmp(entry.szExeFile, name) == 0 && (parentPid == 0 || entry.th32ParentProcessID == parentPid))
            found.push_back(entry.th32ProcessID);
    }
    return found;
}

size_t KillProcesses(const wchar_t* name, DWORD parentPid, UINT exitCode)
{
    size_t killed = 0;
    for (DWORD pid : FindProcesses(name, parentPid)) {
        const UniqueKernelHandle process(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid));
        if (process && TerminateProcess(process.get(), exitCode)) {
            WaitForSingleObject(process.get(), 10000);
            ++killed;
        }
    }
    return killed;
}

bool ReadFileBytes(const std::wstring& path, std::vector<std::uint8_t>& bytes)
{
    bytes.clear();
    const UniqueFileHandle file(CreateFileW(path.c_str(), GENERIC_READ,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return false;
    LARGE_INTEGER size = {};
    if (!GetFileSizeEx(file.get(), &size))
        return false;
    bytes.resize(static_cast<size_t>(size.QuadPart));
    DWORD got = 0;
    const BOOL ok =
        bytes.empty() || ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr);
    return ok && got == bytes.size();
}

bool WriteFileBytes(const std::wstring& path, const std::vector<std::uint8_t>& bytes)
{
    const UniqueFileHandle file(
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return false;
    DWORD written = 0;
    const BOOL ok =
        bytes.empty() || WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    return ok && written == bytes.size();
}

std::wstring ReadUtf8File(const std::wstring& path)
{
    std::vector<std::uint8_t> bytes;
    if (!ReadFileBytes(path, bytes))
        return L"";
    return Utf8ToWide(std::string(bytes.begin(), bytes.end()));
}

std::vector<std::uint8_t> WideBytes(const std::wstring& text, bool withNul)
{
    std::vector<std::uint8_t> out;
    for (wchar_t c : text) {
        out.push_back(static_cast<std::uint8_t>(c));
        out.push_back(static_cast<std::uint8_t>(c >> 8));
    }
    if (withNul)
        out.insert(out.end(), {0, 0});
    return out;
}

std::wstring Utf8ToWide(const std::string& text)
{
    if (text.empty())
        return std::wstring();
    const int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring result(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &result[0], n);
    return result;
}

std::string WideToUtf8(const std::wstring& text)
{
    if (text.empty())
        return std::string();
    const int n =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string result(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &result[0], n, nullptr, nullptr);
    return result;
}

std::vector<StandinRecord> ReadStandinLog(const std::wstring& path)
{
    std::vector<StandinRecord> records;
    const std::wstring text = ReadUtf8File(path);
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(L"\r\n", start);
        if (end == std::wstring::npos)
            end = text.size();
        std::wstring line = text.substr(start, end - start);
        start = end + 2;
        std::vector<std::wstring> fields;
        size_t from = 0;
        for (;;) {
            const size_t tab = line.find(L'\t', from);
            fields.push_back(line.substr(from, tab == std::wstring::npos ? std::wstring::npos : tab - from));
            if (tab == std::wstring::npos)
                break;
            from = tab + 1;
        }
        if (fields.size() < 4)
            continue;
        StandinRecord record;
        record.program = fields[0];
        record.arguments = fields[1];
        record.directory = fields[2];
        record.parentPid = static_cast<DWORD>(_wtoi(fields[3].c_str()));
        if (fields.size() >= 6) {
            record.tmp = fields[4];
            record.temp = fields[5];
        }
        records.push_back(record);
    }
    return records;
}

bool WaitForRecords(const std::wstring& log, size_t count, DWORD timeoutMs)
{
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    while (ReadStandinLog(log).size() < count) {
        if (GetTickCount64() > deadline)
            return false;
        Sleep(50);
    }
    return true;
}

} // namespace testing_support
