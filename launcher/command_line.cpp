#include "launcher/command_line.h"

#include "launcher/installer_launcher.h"
#include "launcher/switch_scan.h"

void ParseCommandLine(CInstallerLauncher& app)
{
    ScanSwitches(app.m_lpCmdLine ? app.m_lpCmdLine : L"", app.m_strMsiArgs, app.m_strLogPath);
}
