#pragma once
#include <windows.h>

#include <string>

// The small application framework the launcher is built on: one global
// application object whose start-up hook runs the program, and whose shutdown
// hook's result becomes the process exit code.
class CWinApp {
  public:
    // Registers this object as the process's application object (the last one
    // constructed wins). Command line and main window start empty.
    CWinApp();
    virtual ~CWinApp();
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    // Start-up hook. TRUE would enter a message loop; this framework has none,
    // so TRUE and FALSE both lead straight to ExitInstance. The base does
    // nothing and returns TRUE.
    virtual BOOL InitInstance();

    // Shutdown hook. Returns the exit code the application recorded with
    // SetExitCode, 0 when it recorded none.
    virtual int ExitInstance();

    // The main window if one is set, else the calling thread's active window,
    // else null.
    HWND GetMainWnd() const;

    // Loads string resource `id` from the process's own image into `text`.
    // Returns true only when the string exists and is not empty; otherwise
    // `text` is emptied and false is returned.
    bool LoadString(UINT id, std::wstring& text) const;

    // The command line without the program name (see SkipProgramName); points
    // at an empty string until the entry point sets it. Not owned.
    const wchar_t* m_lpCmdLine;
    HWND m_hMainWnd;

  protected:
    void SetExitCode(int code) { m_nExitCode = code; }

  private:
    int m_nExitCode;
};

// The application object registered by the most recent CWinApp constructor,
// null when none exists.
CWinApp* AfxGetApp();

// The framework's start-up protocol: sets the application's m_lpCmdLine from
// `commandLine` (the full process command line), calls InitInstance once,
// then returns the result of ExitInstance. Returns 1 when `app` is null.
int AfxRunApplication(CWinApp* app, const wchar_t* commandLine);
