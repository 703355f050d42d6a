#include "launcher/installer_launcher.h"

#include <commctrl.h>

#include <cstdlib>

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
#include "staging/prerequisites.h"
#include "staging/work_folder.h"

namespace {

bool HasExePayload(const wchar_t* name)
{
    return FindResourceW(GetModuleHandleW(nullptr), name, product::kTypeExe) != nullptr;
}

} // namespace

CInstallerLauncher::CInstallerLauncher() : m_bWow64(false) {}

CInstallerLauncher::~CInstallerLauncher() = default;

BOOL CInstallerLauncher::InitInstance()
{
    INITCOMMONCONTROLSEX controls = {};
    controls.dwSize = sizeof(controls);
    controls.dwICC = ICC_WIN95_CLASSES;
    InitCommonControlsEx(&controls);

    CWinApp::InitInstance();
    ParseCommandLine(*this);

    BOOL isWow64 = FALSE;
    if (!QueryWow64(&isWow64))
        exit(static_cast<int>(GetLastError()));
    m_bWow64 = isWow64 != FALSE;

    SetExitCode(RunSequence());
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
    if (HasExePayload(product::kResUninst)) {
        if (!Confirm())
            return exit_code::kUserCancel;
        status = InstallVCRedist(*this);
        if (status == 0)
            status = RunLegacyUninstallers(*this);
    } else {
        status = InstallVCRedist(*this);
    }
    if (status != 0) {
        // The programs extracted so far must not stay in the temporary folder.
        DeleteWorkFolder(*this);
        return status;
    }
    return RunMainPath();
}

int CInstallerLauncher::RunMainPath()
{
    // Each step runs once, whatever the earlier ones reported.
    TerminateTrayHelpers();
    RemovePreviousProducts(*this);
    std::int32_t major = 0, minor = 0, build = 0;
    // Releases up to 1.0.13 recorded device state that later drivers must not
    // take over; the comparisons are signed, so a negative build qualifies.
    if (DetectInstalledVersion(m_bWow64, major, minor, build) && major == 1 && minor == 0 && build <= 13)
        ResetDeviceInstances();
    ControlDeviceMonitorService();
    BackupDriverSettings();
    const int installStatus = InstallProductPackage(*this);
    DeleteSettingsBackup();
    DeleteWorkFolder(*this);
    return installStatus;
}
