// Throughput of payload extraction (ExtractPayload, one write straight from
// the mapped resource) against a plain file copy of the same bytes
// (CopyFileW), in one process; and of the extraction as the launcher does it
// before a payload is used (ExtractHeldPayload: written, held and its digest
// checked against the carried one). Each size runs several rounds; the median
// and the best round are reported. Extraction goes to a work folder under the
// temporary folder, the copy to the same folder.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "launcher/installer_launcher.h"
#include "staging/payload.h"
#include "staging/work_folder.h"

namespace {

constexpr int kRounds = 7;

double Seconds(LARGE_INTEGER from, LARGE_INTEGER to)
{
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(frequency.QuadPart);
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

struct Result {
    double medianMBps;
    double bestMBps;
};

Result Rate(const std::vector<double>& seconds, double megabytes)
{
    std::vector<double> rates;
    for (double s : seconds)
        rates.push_back(megabytes / s);
    return {Median(rates), *std::max_element(rates.begin(), rates.end())};
}

bool BenchOne(CInstallerLauncher& app, const wchar_t* resource, int megabytes)
{
    std::vector<double> extractTimes;
    std::vector<double> copyTimes;
    std::vector<double> checkedTimes;
    for (int round = 0; round < kRounds; ++round) {
        std::wstring extracted;
        LARGE_INTEGER t0, t1, t2, t3;
        QueryPerformanceCounter(&t0);
        if (ExtractPayload(extracted, app, resource, L"EXE", L"payload.bin", true) != 0)
            return false;
        QueryPerformanceCounter(&t1);
        const std::wstring copy = app.m_strWorkFolder + L"copy.bin";
        if (!CopyFileW(extracted.c_str(), copy.c_str(), FALSE))
            return false;
        QueryPerformanceCounter(&t2);
        DeleteFileW(copy.c_str());
        DeleteFileW(extracted.c_str());
        {
            HeldPayload held;
            if (ExtractHeldPayload(held, app, resource, L"EXE", L"checked.bin", true) != 0)
                return false;
            QueryPerformanceCounter(&t3);
        }
        DeleteFileW((app.m_strWorkFolder + L"checked.bin").c_str());
        extractTimes.push_back(Seconds(t0, t1));
        copyTimes.push_back(Seconds(t1, t2));
        checkedTimes.push_back(Seconds(t2, t3));
    }
    const Result extract = Rate(extractTimes, megabytes);
    const Result copy = Rate(copyTimes, megabytes);
    const Result checked = Rate(checkedTimes, megabytes);
    std::printf("%3d MB  ExtractPayload %8.1f MB/s (best %8.1f)   CopyFileW %8.1f MB/s (best %8.1f)   "
                "ratio extract/copy %.2f (median)\n",
                megabytes, extract.medianMBps, extract.bestMBps, copy.medianMBps, copy.bestMBps,
                extract.medianMBps / copy.medianMBps);
    std::printf("%3d MB  ExtractHeldPayload (written, held, digest checked) %8.1f MB/s (best %8.1f)   "
                "ratio checked extract/copy %.2f (median)\n",
                megabytes, checked.medianMBps, checked.bestMBps, checked.medianMBps / copy.medianMBps);
    return true;
}

} // namespace

int wmain()
{
    CInstallerLauncher app;
    std::printf("%d rounds per size; MB = 2^20 bytes\n", kRounds);
    const bool ok = BenchOne(app, L"PAYLOAD_8MB", 8) && BenchOne(app, L"PAYLOAD_64MB", 64);
    DeleteWorkFolder(app);
    return ok ? 0 : 1;
}
