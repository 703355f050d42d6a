#pragma once
// The payload programs that run before the product is installed: the VC 2005
// run-time redistributables and the legacy uninstallers of earlier driver
// generations. Each is extracted into the work folder, run and waited for.

class CInstallerLauncher;

// Runs "vcredist_x86.exe" (resource "VC2005_REDIST_32") when the launcher
// carries it, then, only when that returned 0 and app.m_bWow64 is set,
// "vcredist_x64.exe" (resource "VC2005_REDIST_64") when carried; each with its
// unattended switches. Returns 0 when every redistributable run returned 0 or
// none was carried (no work folder is made then), else the first nonzero
// result of RunPayloadProgram. Any nonzero result, 3010 (restart needed)
// included, ends the run.
int InstallVCRedist(CInstallerLauncher& app);

// Runs "kv_isu.exe" (resource "UNINST") when carried, then "kv_isu2.exe"
// (resource "UNINST2") when carried, whatever the first returned; both with
// an empty argument string. Returns the second's result when "UNINST2" is
// carried, else the first's, else 0.
int RunLegacyUninstallers(CInstallerLauncher& app);
