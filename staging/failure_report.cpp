#include "staging/failure_report.h"

#include <windows.h>

#include <cstdio>

#include "framework/run_log.h"
#include "launcher/exit_codes.h"

void ReportFailure(const char* format, int code)
{
    // The C run time's own printf (msvcrt.dll). Plain printf would be
    // mingw's replacement: C++ headers switch __USE_MINGW_ANSI_STDIO on
    // unconditionally, and the replacement brings about 25 KB of formatting
    // and floating-point code for one "%d".
    __ms_printf(format, code);
    LogDiagnostic(format, code);
    std::fflush(stdout);
}

int ErrorStatus(unsigned long error)
{
    return error == 0 ? exit_code::kFailureWithoutCode : static_cast<int>(error);
}

int LastErrorStatus()
{
    return ErrorStatus(GetLastError());
}
