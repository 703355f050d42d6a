#include "launcher/installer_launcher.h"

#include <cstdlib>

#include "framework/dll_search.h"
#include "framework/run_log.h"
#include "framework/wow64_query.h"
#include "launcher/command_line.h"
#include "launcher/exit_codes.h"
#include "launcher/product_constants.h"
#include "launcher/single_run.h"
#include "prepare/device_monitor_service.h"
#include "prepare/previous_products.h"
#include "prepare/tray_helpers.h"
#include "settings/device_reset.h"
#include "settings/installed_version.h"
#include "settings/settings_backup.h"
#include "staging/package_install.h"
#include "staging/payload.h"
#include "staging/prerequisites.h"
#include "staging/work_folder.h"

CInstallerLauncher::CInstallerLauncher() : m_bWow64(false) {}

CInstallerLauncher::~CInstallerLauncher() = default;

BOOL CInstallerLauncher::InitInstance()
{
    InitCommonControlsFromSystem();

    CWinApp::InitInstance();
    ParseCommandLine(*this);
    // A log that cannot be opened is given up silently: the run is the same.
    if (!m_strLogPath.empty() && OpenRunLog(m_strLogPath)) {
        LogLauncherVersion();
        LogLine(std::wstring(L"Command line: ") + GetCommandLineW());
    }

    BOOL isWow64 = FALSE;
    if (!QueryWow64(&isWow64)) {
        const int code = static_cast<int>(GetLastError());
        LogNumber(L"WOW64 query failed, exit code: ", code);
        CloseRunLog();
        exit(code);
    }
    m_bWow64 = isWow64 != FALSE;
    LogLine(m_bWow64 ? L"WOW64: true" : L"WOW64: false");

    const int exitCode = RunSequence();
    LogNumber(L"Exit code: ", exitCode);
    CloseRunLog();
    SetExitCode(exitCode);
    return FALSE;
}

bool CInstallerLauncher::Confirm()
{
    std::wstring text;
    std::wstring caption;
    const bool haveText = LoadString(product::kIdsConfirmText, text);
    const bool haveCaption = LoadString(product::kIdsConfirmCaption, caption);
    if (!haveText || !haveCaption)
        return true;
    return MessageBoxW(GetMainWnd(), text.c_str(), caption.c_str(), MB_YESNO) == IDYES;
}

int CInstallerLauncher::RunSequence()
{
    // Held until the process ends its run: before the box, so that a second
    // launcher refuses at once instead of asking and then failing.
    SingleRunLock lock;
    if (!lock.TryAcquire())
        return exit_code::kAnotherRunInProgress;
    int status = 0;
    if (CarriesPayload(product::kResUninst, product::kTypeExe)) {
        const bool confirmed = Confirm();
        LogStep(L"Confirm", confirmed);
        if (!confirmed)
            return exit_code::kUserCancel;
        status = InstallVCRedist(*this);
        LogStep(L"InstallVCRedist", status);
        if (status == 0) {
            status = RunLegacyUninstallers(*this);
            LogStep(L"RunLegacyUninstallers", status);
        }
    } else {
        status = InstallVCRedist(*this);
        LogStep(L"InstallVCRedist", status);
    }
    if (status != 0) {
        // The programs extracted so far must not stay in the temporary folder.
        DeleteWorkFolder(*this);
        LogStep(L"DeleteWorkFolder");
        // Nothing of the product was installed: a restart that a
        // prerequisite asked for must not read as the product's success.
        return exit_code::ForEndedRun(status);
    }
    return RunMainPath();
}

int CInstallerLauncher::RunMainPath()
{
    // Each step runs once, whatever the earlier ones reported.
    LogStep(L"TerminateTrayHelpers", TerminateTrayHelpers());
    LogStep(L"RemovePreviousProducts", RemovePreviousProducts(*this));
    std::int32_t major = 0, minor = 0, build = 0;
    const bool found = DetectInstalledVersion(m_bWow64, major, minor, build);
    LogStep(L"DetectInstalledVersion", found);
    if (found)
        LogLine(L"Installed version: " + DecimalText(major) + L"." + DecimalText(minor) + L"." + DecimalText(build));
    // Releases up to 1.0.13 recorded device state that later drivers must not
    // take over; the comparisons are signed, so a negative build qualifies.
    if (found && major == 1 && minor == 0 && build <= 13) {
        ResetDeviceInstances();
        LogStep(L"ResetDeviceInstances");
    }
    LogStep(L"ControlDeviceMonitorService", ControlDeviceMonitorService());
    LogStep(L"BackupDriverSettings", BackupDriverSettings());
    const int installStatus = InstallProductPackage(*this);
    LogStep(L"InstallProductPackage", installStatus);
    LogStep(L"DeleteSettingsBackup", DeleteSettingsBackup());
    DeleteWorkFolder(*this);
    LogStep(L"DeleteWorkFolder");
    return installStatus;
}
