#pragma once
#include <string>

#include "framework/win_app.h"

// The launcher's application object. Its start-up hook runs the whole
// installation once and records the process exit code (see exit_codes.h).
class CInstallerLauncher : public CWinApp {
  public:
    CInstallerLauncher();
    ~CInstallerLauncher() override;

    // Runs the whole sequence on the calling thread. Always returns FALSE, so
    // the framework goes straight to ExitInstance, which returns the exit code.
    // A failing WOW64 query ends the process at once through exit() with the
    // system error code.
    BOOL InitInstance() override;

    // Full path of this run's work folder with a trailing backslash; empty
    // while no work folder exists.
    std::wstring m_strWorkFolder;
    // True when this 32-bit program runs on 64-bit Windows.
    bool m_bWow64;
    // Arguments for Windows Installer from the command line; empty means the
    // package is opened with its own user interface.
    std::wstring m_strMsiArgs;
    // Path of the run log from the switch "log"; empty means no log.
    std::wstring m_strLogPath;

  private:
    // The run sequence after the command line and WOW64 detection. Returns the
    // process exit code.
    int RunSequence();
    // Asks for consent when the product carries both confirmation strings.
    // Returns false when the user declined or the box could not be shown.
    bool Confirm();
    int RunMainPath();
};
