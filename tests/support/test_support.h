#pragma once
// Helpers shared by the test programs: the build's programs, temporary
// folders, environment changes, child processes with captured output, the
// stand-in program's log, files and text. Everything here cleans up after
// itself. Registry helpers are in raw_registry.h and registry_snapshot.h, the
// machine-wide fixtures (the driver's keys and folders, Windows Installer,
// the shell's open action) in test_machine.h.
#include <windows.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "framework/unique_handle.h"

namespace testing_support {

// Folder of the running test program; the launchers, the stand-in and the
// test packages are built into the same folder. Ends without a backslash.
std::wstring BinDir();

// "<bin>\<name>.exe" in double quotes, ready to start: a test launcher (or
// any program built beside the test program) by its target name.
std::wstring Launcher(const std::wstring& name);

// Copies the stand-in program (standin.exe from `programFolder`, the test
// program's own folder when empty) to `path`, replacing a file there. True
// when the copy is made.
bool CopyStandin(const std::wstring& path, const std::wstring& programFolder = L"");

// A new empty folder under the temporary folder, removed with everything in
// it when the object goes away.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    // Full path without a trailing backslash.
    const std::wstring& path() const { return m_path; }
    std::wstring operator/(const std::wstring& name) const { return m_path + L"\\" + name; }

  private:
    std::wstring m_path;
};

// Sets an environment variable of this process (inherited by the children it
// starts) and restores the old value when it goes away. An empty value
// removes the variable.
class ScopedEnv {
  public:
    ScopedEnv(const wchar_t* name, const std::wstring& value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

  private:
    std::wstring m_name;
    std::wstring m_old;
    bool m_had = false;
};

// A new UUID in its text form (36 characters, no braces); empty on failure.
std::wstring NewUuidText();

// The names in a folder (not "." and ".."), sorted; empty when it is missing.
std::vector<std::wstring> ListNames(const std::wstring& folder);

// Removes a folder tree; returns true when it is gone afterwards.
bool RemoveTree(const std::wstring& path);
bool PathExists(const std::wstring& path);

struct ProcessResult {
    bool started = false;  // CreateProcess succeeded
    DWORD startError = 0;  // its GetLastError() when it did not
    bool timedOut = false; // killed after the time limit
    DWORD exitCode = 0;    // full 32-bit exit code
    std::string output;    // everything written to standard output and standard error
};

// Environment changes for a child: a value replaces or adds the variable, an
// empty value removes it.
using Environment = std::map<std::wstring, std::wstring>;

// Runs `commandLine` (program path quoted as needed) with the given
// environment changes and waits at most `timeoutMs`; a child still running
// then is terminated and reported as timed out.
ProcessResult RunProcess(const std::wstring& commandLine, const Environment& env = {}, DWORD timeoutMs = 120000,
                         const std::wstring& workingDir = L"");

// Starts a child without waiting (in `workingDir` when given); returns the
// owner of its process handle (full access), empty when it did not start.
UniqueKernelHandle StartProcess(const std::wstring& commandLine, const Environment& env = {}, DWORD* pid = nullptr,
                                const std::wstring& workingDir = L"");

// Process ids of the running processes whose file name is `name` (e.g.
// "msiexec.exe", letter case ignored) and whose parent is `parentPid` (any
// parent when 0).
std::vector<DWORD> FindProcesses(const wchar_t* name, DWORD parentPid = 0);
// Terminates them with `exitCode` and waits (10 s at most each) for them to
// end; returns how many were terminated.
size_t KillProcesses(const wchar_t* name, DWORD parentPid, UINT exitCode);

// One line of the stand-in program's log.
struct StandinRecord {
    std::wstring program;   // file name, e.g. "vcredist_x86.exe"
    std::wstring arguments; // command line after the program name
    std::wstring directory; // current directory of the stand-in
    DWORD parentPid = 0;
    std::wstring tmp;  // TMP as the stand-in saw it; empty when unset
    std::wstring temp; // TEMP likewise
};
// The records of a stand-in log, in order; empty when it cannot be read.
std::vector<StandinRecord> ReadStandinLog(const std::wstring& path);
// Waits until the log holds at least `count` records; false after `timeoutMs`.
bool WaitForRecords(const std::wstring& log, size_t count, DWORD timeoutMs);

bool ReadFileBytes(const std::wstring& path, std::vector<std::uint8_t>& bytes);
bool WriteFileBytes(const std::wstring& path, const std::vector<std::uint8_t>& bytes);
// A UTF-8 file's text; empty when it cannot be read.
std::wstring ReadUtf8File(const std::wstring& path);
std::wstring Utf8ToWide(const std::string& text);
// The UTF-16LE bytes of `text`, as the registry stores them, with or without a
// terminating NUL unit.
std::vector<std::uint8_t> WideBytes(const std::wstring& text, bool withNul);
std::string WideToUtf8(const std::wstring& text);

} // namespace testing_support
