#include "framework/run_log.h"

#include <windows.h>

#include <cstdio>
#include <cstring>

#include "framework/unique_handle.h"

#ifndef ORBELLE_LAUNCHER_VERSION
#error "the build defines ORBELLE_LAUNCHER_VERSION (framework/CMakeLists.txt)"
#endif

namespace {

UniqueFileHandle g_log;

// Keeps the caller's last error code across the log's own calls, so that a
// failure report or an exit code read after logging is the caller's.
class LastErrorKeeper {
  public:
    LastErrorKeeper() : m_error(GetLastError()) {}
    ~LastErrorKeeper() { SetLastError(m_error); }
    LastErrorKeeper(const LastErrorKeeper&) = delete;
    LastErrorKeeper& operator=(const LastErrorKeeper&) = delete;

  private:
    DWORD m_error;
};

void WriteUtf8Line(const std::wstring& line)
{
    std::wstring text = line;
    text += L"\r\n";
    const int units = static_cast<int>(text.size());
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), units, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0)
        return;
    std::string utf8(static_cast<size_t>(bytes), '\0');
    if (WideCharToMultiByte(CP_UTF8, 0, text.c_str(), units, &utf8[0], bytes, nullptr, nullptr) != bytes)
        return;
    DWORD written = 0;
    WriteFile(g_log.get(), utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
}

} // namespace

std::wstring DecimalText(long long value)
{
    unsigned long long magnitude =
        value < 0 ? 0ull - static_cast<unsigned long long>(value) : static_cast<unsigned long long>(value);
    wchar_t digits[24];
    int at = 24;
    do {
        digits[--at] = static_cast<wchar_t>(L'0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    if (value < 0)
        digits[--at] = L'-';
    return std::wstring(digits + at, digits + 24);
}

bool IsPlainFileForLog(DWORD attributes, DWORD links)
{
    return (attributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) == 0 && links == 1;
}

bool OpenRunLog(const std::wstring& path)
{
    LastErrorKeeper keep;
    g_log.reset();
    // The path may lie in a folder that another account can write, which
    // could put a link in the log's place: the file is opened itself (never
    // what a reparse point at it names) and left as it is (OPEN_ALWAYS, not
    // CREATE_ALWAYS) until the handle shows a plain file with no other name.
    UniqueFileHandle file(CreateFileW(path.c_str(), GENERIC_WRITE | FILE_READ_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                                      OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file)
        return false;
    BY_HANDLE_FILE_INFORMATION info = {};
    if (!GetFileInformationByHandle(file.get(), &info) ||
        !IsPlainFileForLog(info.dwFileAttributes, info.nNumberOfLinks))
        return false;
    // A handle just opened stands at the file's start: the end goes there.
    if (!SetEndOfFile(file.get()))
        return false;
    g_log = std::move(file);
    return true;
}

void CloseRunLog()
{
    LastErrorKeeper keep;
    g_log.reset();
}

bool RunLogIsOpen()
{
    return g_log.valid();
}

void LogLine(const std::wstring& line)
{
    if (!g_log)
        return;
    LastErrorKeeper keep;
    WriteUtf8Line(line);
}

void LogLauncherVersion()
{
    if (!g_log)
        return;
    const char* version = ORBELLE_LAUNCHER_VERSION;
    LogLine(L"Launcher version " + std::wstring(version, version + strlen(version)));
}

void LogStep(const wchar_t* name, int result)
{
    if (g_log)
        LogLine(std::wstring(L"Step ") + name + L": " + DecimalText(result));
}

void LogStep(const wchar_t* name, bool result)
{
    if (g_log)
        LogLine(std::wstring(L"Step ") + name + L": " + (result ? L"true" : L"false"));
}

void LogStep(const wchar_t* name)
{
    if (g_log)
        LogLine(std::wstring(L"Step ") + name + L": done");
}

void LogDiagnostic(const char* format, int code)
{
    if (!g_log)
        return;
    LastErrorKeeper keep;
    char line[256] = {};
    // msvcrt's formatter, as for the line on standard output.
    const int length = _snprintf(line, sizeof(line) - 1, format, code);
    if (length <= 0)
        return;
    std::wstring text;
    for (int i = 0; i < length && line[i] != '\n'; ++i)
        text += static_cast<wchar_t>(static_cast<unsigned char>(line[i]));
    LogLine(L"Diagnostic: " + text);
}

void LogNumber(const wchar_t* label, long long value)
{
    if (g_log)
        LogLine(label + DecimalText(value));
}
