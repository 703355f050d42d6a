#include "framework/win_app.h"

#include "framework/command_tail.h"

namespace {
CWinApp* g_app = nullptr;
}

CWinApp::CWinApp() : m_lpCmdLine(L""), m_hMainWnd(nullptr), m_nExitCode(0)
{
    g_app = this;
}

CWinApp::~CWinApp()
{
    if (g_app == this)
        g_app = nullptr;
}

BOOL CWinApp::InitInstance()
{
    return TRUE;
}

int CWinApp::ExitInstance()
{
    return m_nExitCode;
}

HWND CWinApp::GetMainWnd() const
{
    if (m_hMainWnd != nullptr)
        return m_hMainWnd;
    return GetActiveWindow();
}

bool CWinApp::LoadString(UINT id, std::wstring& text) const
{
    text.clear();
    // A buffer size of 0 asks for a read-only pointer into the resource itself,
    // so no length limit applies.
    const wchar_t* resource = nullptr;
    int length = ::LoadStringW(GetModuleHandleW(nullptr), id, reinterpret_cast<LPWSTR>(&resource), 0);
    if (length <= 0 || resource == nullptr)
        return false;
    text.assign(resource, static_cast<size_t>(length));
    return true;
}

CWinApp* AfxGetApp()
{
    return g_app;
}

int AfxRunApplication(CWinApp* app, const wchar_t* commandLine)
{
    if (app == nullptr)
        return 1;
    app->m_lpCmdLine = SkipProgramName(commandLine);
    app->InitInstance();
    return app->ExitInstance();
}
