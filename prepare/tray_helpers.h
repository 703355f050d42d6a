#pragma once

// Ends every running process whose executable name is one of the installed
// driver's tray-helper programs (product::kTrayHelperNames), so that their
// files are free for the package installation.
//
// The name must match exactly, letter case included, and is compared with the
// bare file name of the process image: "KorvelTaskBarIcon.EXE" or a full path
// does not match. Each match is opened for PROCESS_TERMINATE and ended with
// exit code 0; a process that cannot be opened (another user's, or one that
// has already gone) is skipped. Does not wait for the processes to disappear.
//
// Returns the number of processes whose termination call succeeded; 0 when no
// process matched or the process snapshot could not be taken.
int TerminateTrayHelpers();
