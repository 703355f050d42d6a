// Whole launcher runs measured from outside, under the same conditions as the
// program they are compared with:
//  1. a launcher that carries only the package, run with -quiet, against a
//     bare "msiexec /i package /quiet" of the same package (each followed by
//     an untimed removal, the two alternating round by round);
//  2. the launcher's peak memory (PeakWorkingSetSize and PeakPagefileUsage of
//     the launcher process, read by this parent with GetProcessMemoryInfo)
//     for two launchers that differ only in the size of their package
//     payload, 8 MB and 64 MB.
// Usage: launcher_bench <package.msi>; the launchers lie beside this program.
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr int kRounds = 5;

std::wstring Beside(const wchar_t* name)
{
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder = path;
    return folder.substr(0, folder.rfind(L'\\') + 1) + name;
}

std::wstring Msiexec()
{
    wchar_t folder[MAX_PATH] = {};
    GetSystemDirectoryW(folder, MAX_PATH);
    return std::wstring(L"\"") + folder + L"\\msiexec.exe\"";
}

struct Run {
    bool ok = false;
    DWORD exitCode = 0;
    double seconds = 0;
    SIZE_T peakWorkingSet = 0;
    SIZE_T peakPagefile = 0;
};

// Runs `commandLine` to its end. The peaks are polled while the process runs
// (they only grow) and read once more after it ended, where the system still
// answers for it.
Run RunAndMeasure(std::wstring commandLine)
{
    Run run;
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    LARGE_INTEGER frequency, t0, t1;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&t0);
    if (!CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return run;
    CloseHandle(process.hThread);
    for (;;) {
        const DWORD wait = WaitForSingleObject(process.hProcess, 2);
        PROCESS_MEMORY_COUNTERS counters = {};
        counters.cb = sizeof(counters);
        if (GetProcessMemoryInfo(process.hProcess, &counters, sizeof(counters))) {
            run.peakWorkingSet = std::max(run.peakWorkingSet, counters.PeakWorkingSetSize);
            run.peakPagefile = std::max(run.peakPagefile, counters.PeakPagefileUsage);
        }
        if (wait != WAIT_TIMEOUT)
            break;
    }
    QueryPerformanceCounter(&t1);
    run.ok = GetExitCodeProcess(process.hProcess, &run.exitCode) != FALSE;
    CloseHandle(process.hProcess);
    run.seconds = static_cast<double>(t1.QuadPart - t0.QuadPart) / static_cast<double>(frequency.QuadPart);
    return run;
}

// True when the Uninstall list names the demo package's product.
bool DemoProductInstalled()
{
    HKEY list = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall", 0, KEY_READ,
                      &list) != ERROR_SUCCESS)
        return false;
    bool found = false;
    wchar_t name[256];
    for (DWORD i = 0; !found; ++i) {
        DWORD length = 256;
        if (RegEnumKeyExW(list, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        wchar_t display[256] = {};
        DWORD size = sizeof(display) - sizeof(wchar_t);
        if (RegGetValueW(list, name, L"DisplayName", RRF_RT_REG_SZ, nullptr, display, &size) == ERROR_SUCCESS)
            found = std::wstring(display) == L"Orbelle Demo Driver";
    }
    RegCloseKey(list);
    return found;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

bool InstallRatio(const std::wstring& package)
{
    const std::wstring launcher = L"\"" + Beside(L"bench_launcher_package.exe") + L"\" -quiet";
    const std::wstring bare = Msiexec() + L" /i \"" + package + L"\" /quiet";
    const std::wstring remove = Msiexec() + L" /x \"" + package + L"\" /quiet";
    std::vector<double> launcherTimes, bareTimes;
    if (DemoProductInstalled()) {
        std::printf("install: the demo product is installed already\n");
        return false;
    }
    for (int round = 0; round < kRounds; ++round) {
        // Each run must really install, and each removal really remove.
        const Run a = RunAndMeasure(launcher);
        const bool aInstalled = DemoProductInstalled();
        RunAndMeasure(remove);
        const bool aRemoved = !DemoProductInstalled();
        const Run b = RunAndMeasure(bare);
        const bool bInstalled = DemoProductInstalled();
        RunAndMeasure(remove);
        const bool bRemoved = !DemoProductInstalled();
        if (!a.ok || !b.ok || a.exitCode != 0 || b.exitCode != 0 || !aInstalled || !bInstalled || !aRemoved ||
            !bRemoved) {
            std::printf("install round %d failed: launcher %lu (installed %d, removed %d), msiexec %lu (installed %d, "
                        "removed %d)\n",
                        round, a.exitCode, aInstalled, aRemoved, b.exitCode, bInstalled, bRemoved);
            return false;
        }
        std::printf("install  round %d: launcher %.3f s, msiexec %.3f s\n", round, a.seconds, b.seconds);
        launcherTimes.push_back(a.seconds);
        bareTimes.push_back(b.seconds);
    }
    const double l = Median(launcherTimes), m = Median(bareTimes);
    std::printf("install  launcher -quiet %.3f s   msiexec /i /quiet %.3f s   ratio launcher/msiexec %.2f "
                "(medians of %d)\n",
                l, m, l / m, kRounds);
    return true;
}

bool MemoryRatio()
{
    // The package payload is random bytes: it is written out, then msiexec is
    // asked to remove a product that does not exist, which ends at once.
    const wchar_t* args = L" -msiargs \"/x {00000000-0000-0000-0000-000000000000} /quiet\"";
    struct Case {
        const wchar_t* launcher;
        double payloadMB;
    };
    const Case cases[] = {{L"bench_launcher_8mb.exe", 8}, {L"bench_launcher_64mb.exe", 64}};
    double overhead[2] = {};
    for (int i = 0; i < 2; ++i) {
        SIZE_T ws = 0, pf = 0;
        for (int round = 0; round < kRounds; ++round) {
            const Run run = RunAndMeasure(L"\"" + Beside(cases[i].launcher) + L"\"" + args);
            if (!run.ok || run.peakWorkingSet == 0) {
                std::printf("memory: %ls could not be measured\n", cases[i].launcher);
                return false;
            }
            ws = std::max(ws, run.peakWorkingSet);
            pf = std::max(pf, run.peakPagefile);
        }
        const double mb = 1024.0 * 1024.0;
        const double pagefile = static_cast<double>(pf) / mb;
        const double workingSet = static_cast<double>(ws) / mb;
        // What the launcher uses beyond its own image, whose payload Wine
        // reads into private memory at load time (docs/PERFORMANCE.md).
        overhead[i] = pagefile - cases[i].payloadMB;
        std::printf("memory   payload %4.0f MB   peak working set %6.1f MB (%.2f x payload)   peak private %6.1f MB "
                    "(%.2f x payload)   private beyond the payload %5.1f MB\n",
                    cases[i].payloadMB, workingSet, workingSet / cases[i].payloadMB, pagefile,
                    pagefile / cases[i].payloadMB, overhead[i]);
    }
    std::printf("memory   private beyond the payload: %.1f MB with 8 MB, %.1f MB with 64 MB (ratio %.2f)\n",
                overhead[0], overhead[1], overhead[1] / overhead[0]);
    return true;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 2) {
        std::printf("usage: launcher_bench <package.msi>\n");
        return 2;
    }
    const bool ok = InstallRatio(argv[1]) && MemoryRatio();
    return ok ? 0 : 1;
}
