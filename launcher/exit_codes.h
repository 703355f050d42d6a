#pragma once
// The launcher's process exit codes. They are a public interface for the
// deployment tools that run the launcher, which act on the code alone: each
// keeps its number for good, and a retired number is never given to something
// else. README.md has the table of what each means and what a deployment tool
// should do with it.
//
// Apart from the names below, the exit code is whatever ended the run, passed
// through unchanged: the package installation's own result (for example 1603,
// or 3010 and 1641 for an installed product that needs a restart), the exit
// code of a prerequisite or legacy uninstaller that failed, or the system
// error code of a failed step (a file that could not be written, a program
// that could not be started). A failing WOW64 query ends the process with the
// system error code.
namespace exit_code {

// The run reached its end and the package installation returned 0.
inline constexpr int kSuccess = 0;

// The package installation's own results that the launcher passes on as they
// are: the product is installed, and a restart is needed (3010) or Windows
// Installer has started one (1641).
inline constexpr int kSuccessRebootRequired = 3010;  // ERROR_SUCCESS_REBOOT_REQUIRED
inline constexpr int kSuccessRebootInitiated = 1641; // ERROR_SUCCESS_REBOOT_INITIATED

// The confirmation box was declined or could not be shown. The Windows
// Installer code for a user cancel (ERROR_INSTALL_USEREXIT).
inline constexpr int kUserCancel = 1602;

// Another launcher of this product is running on the machine; this one
// changed nothing and ended at once. The Windows Installer code for "another
// installation is already in progress" (ERROR_INSTALL_ALREADY_RUNNING), which
// deployment tools know to retry later.
inline constexpr int kAnotherRunInProgress = 1618;

// A prerequisite or legacy uninstaller ended with 3010 or 1641: it succeeded,
// but the restart it needs must come before the product can be installed, so
// the run ended there and the product is not installed. Passing 3010 or 1641
// on would tell a deployment tool that the product was installed. These are
// their failed forms (ERROR_FAIL_REBOOT_REQUIRED, ERROR_FAIL_REBOOT_INITIATED):
// run the launcher again after the restart.
inline constexpr int kFailRebootRequired = 3017;
inline constexpr int kFailRebootInitiated = 3018;

// Waiting for a child program failed, for example because the shell handed a
// document to a program that was already running and gave no process to wait
// for. The process exit code is then 0xFFFFFFFF (4294967295).
inline constexpr int kWaitFailed = -1;

// A step failed but the system gave no error code for it (GetLastError
// returned 0, for example for a payload resource of size 0). E_FAIL, the
// "unspecified failure" HRESULT (0x80004005), so that a failure is never
// mistaken for success.
inline constexpr int kFailureWithoutCode = static_cast<int>(0x80004005u);

// Writing a payload file reported success but wrote fewer bytes than the
// payload holds, also when asked a second time for the rest. ERROR_WRITE_FAULT.
inline constexpr int kIncompleteWrite = 29;

// A level of the installers folder is a reparse point (a junction or a link
// that could lead the package anywhere), so the package was not written.
// ERROR_REPARSE_POINT_ENCOUNTERED.
inline constexpr int kReparsePointRefused = 4395;

// The package in the installers folder, once written and held, was not the
// file the launcher had written: another file, a second name of a file, or
// the same name reached another way (staging/package_check.h). Nothing was
// installed. ERROR_FILE_INVALID.
inline constexpr int kPackageNotAsWritten = 1006;

// The exit code of a run that a prerequisite or legacy-uninstaller step ended
// with the nonzero `stepResult`: kFailRebootRequired for 3010,
// kFailRebootInitiated for 1641, every other code unchanged.
constexpr int ForEndedRun(int stepResult)
{
    if (stepResult == kSuccessRebootRequired)
        return kFailRebootRequired;
    if (stepResult == kSuccessRebootInitiated)
        return kFailRebootInitiated;
    return stepResult;
}

} // namespace exit_code
