#include "launcher/command_line.h"

#include "launcher/installer_launcher.h"
#include "launcher/switch_scan.h"

void ParseCommandLine(CInstallerLauncher& app)
{
    const std::wstring tail = app.m_lpCmdLine ? app.m_lpCmdLine : L"";
    ScanSwitches(tail, app.m_strMsiArgs);
    ScanLogPath(tail, app.m_strLogPath);
}
