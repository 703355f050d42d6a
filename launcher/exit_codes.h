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

} // namespace exit_code
