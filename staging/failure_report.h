#pragma once
// The staging code's one way of reporting a failed file operation: one line on
// standard output, and a status that is never 0.

// Writes `format` (a printf format with one "%d") with `code` as a signed
// decimal to standard output and flushes it at once, so that a process
// reading our output sees the line even if a child we start next, or the end
// of the process, comes before any further output.
void ReportFailure(const char* format, int code);

// GetLastError() as a status; exit_code::kFailureWithoutCode when the system
// reports no code, so that a failure never reads as success.
int LastErrorStatus();

// `error` as a status, mapped the same way.
int ErrorStatus(unsigned long error);
