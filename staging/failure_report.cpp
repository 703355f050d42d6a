#include "staging/failure_report.h"

#include <windows.h>

#include <cstdio>

#include "launcher/exit_codes.h"

void ReportFailure(const char* format, int code)
{
    std::printf(format, code);
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
