#pragma once
// The launcher's process exit codes. They are a public interface for the
// deployment tools that run the launcher: each keeps its number for good, and
// a retired number is never given to something else.
//
// Apart from the names below, the exit code is whatever ended the run, passed
// through unchanged: the package installation's nonzero result (for example
// 1603, or 3010 and 1641 for success that needs a restart), or the nonzero
// result of the prerequisite or legacy-uninstaller step that ended the run.
// A failing WOW64 query ends the process with the system error code.
namespace exit_code {

// The run reached its end and the package installation returned 0.
inline constexpr int kSuccess = 0;

// The confirmation box was declined or could not be shown. The Windows
// Installer code for a user cancel (ERROR_INSTALL_USEREXIT).
inline constexpr int kUserCancel = 1602;

// A step failed but the system gave no error code for it (GetLastError
// returned 0, for example for a payload resource of size 0). E_FAIL, the
// "unspecified failure" HRESULT (0x80004005), so that a failure is never
// mistaken for success.
inline constexpr int kFailureWithoutCode = static_cast<int>(0x80004005u);

// Writing a payload file reported success but wrote fewer bytes than the
// payload holds, also when asked a second time for the rest. ERROR_WRITE_FAULT.
inline constexpr int kIncompleteWrite = 29;

// Another launcher of this product is running on the machine; this one
// changed nothing and ended at once. The Windows Installer code for "another
// installation is already in progress" (ERROR_INSTALL_ALREADY_RUNNING), which
// deployment tools know to retry later.
inline constexpr int kAnotherRunInProgress = 1618;

} // namespace exit_code
