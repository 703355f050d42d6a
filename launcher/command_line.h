#pragma once

class CInstallerLauncher;

// Reads the application's m_lpCmdLine (left unchanged) and sets its
// m_strMsiArgs from the switches "quiet" and "msiargs", and m_strLogPath from
// the switch "log" (see ScanSwitches).
void ParseCommandLine(CInstallerLauncher& app);
