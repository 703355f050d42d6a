#pragma once

class CInstallerLauncher;

// Reads the application's m_lpCmdLine (left unchanged) and sets its
// m_strMsiArgs from the switches "quiet" and "msiargs" (ScanSwitches: nothing
// else changes them), and m_strLogPath from the switch "log" (ScanLogPath).
void ParseCommandLine(CInstallerLauncher& app);
