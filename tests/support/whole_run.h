#pragma once
// Whole launcher runs as the test programs make them: one launcher process
// started from the build (or a copy of it), with the stand-ins recording what
// it starts and a temporary folder of the test's own, so that whatever the
// run leaves behind shows. The machine itself (the driver's keys, Windows
// Installer, the open action) is test_machine.h's; the installed driver's
// running parts are running_driver.h's.
#include <windows.h>

#include <string>
#include <vector>

#include "framework/unique_handle.h"
#include "tests/support/test_support.h"

namespace testing_support {

// How one run ended (ProcessResult: started, startError, timedOut, exitCode,
// output), and what it did.
struct RunResult : ProcessResult {
    std::wstring commandLine;            // as the launcher was started
    std::vector<StandinRecord> children; // the records this run added to the log, in order
    bool leftNothing = false;            // the tmp folder was empty when the run had ended

    // The children's program names ("vcredist_x86.exe", ...), in order.
    std::vector<std::wstring> Programs() const;
};

// The arrangement of whole launcher runs. A new temporary folder (removed
// with everything in it when the object goes away) holds
//   children.log  the stand-ins' log, named in STANDIN_LOG,
//   tmp\          an empty folder named in TMP and TEMP,
// and every launcher the object starts gets those three variables, then the
// ones given with Set(), then the ones given to the run itself (a later one
// replaces an earlier one of the same name; an empty value removes it). All
// runs of one object share the log and the tmp folder: a test that wants
// another log or another temporary folder makes another object.
//
// When the tmp folder cannot be made, the running test fails (the runs still
// go ahead, and their leftNothing is then false).
class WholeRun {
  public:
    WholeRun();
    WholeRun(const WholeRun&) = delete;
    WholeRun& operator=(const WholeRun&) = delete;

    // The test's folder (for files of the test's own), the log, the tmp folder.
    const TempDir& folder() const { return m_folder; }
    const std::wstring& log() const { return m_log; }
    const std::wstring& tmp() const { return m_tmp; }

    // A variable for every later run of this object (an empty value removes it).
    void Set(const std::wstring& name, const std::wstring& value);
    // The launcher's current folder for later runs; empty (the default) means
    // the test program's.
    void SetCurrentFolder(const std::wstring& folder) { m_currentFolder = folder; }
    // How long Run and RunProgram wait before they end the launcher and report
    // a time-out; 120 s unless set.
    void SetTimeout(DWORD timeoutMs) { m_timeoutMs = timeoutMs; }

    // Runs the test launcher `name` (the target's name, built beside the test
    // program: see Launcher()) with `arguments` after its quoted path, and
    // waits for it to end.
    RunResult Run(const std::wstring& name, const std::wstring& arguments = L"-quiet",
                  const Environment& env = {}) const;
    // The same for the launcher at `path` (a copy made by the test).
    RunResult RunProgram(const std::wstring& path, const std::wstring& arguments = L"-quiet",
                         const Environment& env = {}) const;
    // Starts the test launcher `name` as Run does, without waiting: the owner
    // of its process handle (full access; empty when it did not start), its
    // process id in `pid` when given.
    UniqueKernelHandle Start(const std::wstring& name, const std::wstring& arguments = L"-quiet",
                             const Environment& env = {}, DWORD* pid = nullptr) const;

    // Every record of the log so far, of every run, in order.
    std::vector<StandinRecord> Records() const;
    // True when the tmp folder is there and empty now.
    bool LeftNothing() const;

  private:
    Environment RunEnvironment(const Environment& env) const;
    RunResult Execute(const std::wstring& commandLine, const Environment& env) const;

    TempDir m_folder;
    const std::wstring m_log = m_folder / L"children.log";
    const std::wstring m_tmp = m_folder / L"tmp";
    Environment m_set;
    std::wstring m_currentFolder;
    DWORD m_timeoutMs = 120000;
};

} // namespace testing_support
