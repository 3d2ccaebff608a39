// Runs the refresh worker beside this executable, for measurements.
//
//   WorkerDriver SECONDS [Key=Value ...]
//       the worker's own thread for SECONDS (e.g. `strace -c -f` over idle
//       passes); the resident memory is printed after the first pass and at
//       the end.
//   WorkerDriver --runs N [Key=Value ...]
//       N passes on this thread with a clock that does not sleep; with
//       TimeSecond2=1 every pass is a run (request, judgement, cache and
//       logs). Prints the processor time of the passes and the peak resident
//       memory of the process (on Windows the peak working set).
//   WorkerDriver --fetches N URL
//       the page request alone, N times into one buffer as the worker makes
//       it (no judgement, no files); prints its processor time.
//
// The settings given are written to config.ini first (section VlmWebRefresh).
// The process-wide objects are the service's own (service/Globals.cpp).
#if defined(_WIN32)
#include <windows.h>
#include <psapi.h>
#else
#include <sys/resource.h>
#endif

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>

#include "config/FileUtil.h"
#include "config/IniReader.h"
#include "http/PageFetcher.h"
#include "platform/Clock.h"
#include "platform/Env.h"
#include "platform/Http.h"
#include "refresh/RefreshWorker.h"
#include "service/Thread.h"

namespace {

std::string ResidentMemory() {
    std::ifstream status("/proc/self/status");
    std::string strLine;
    while (std::getline(status, strLine)) {
        if (strLine.compare(0, 6, "VmRSS:") == 0) return strLine;
    }
    return "VmRSS: unknown";
}

// The system clock without its sleeps: passes follow each other at once.
class CNoSleepClock : public CClock {
public:
    int64_t Now() override { return GetDefaultEnv().Clock().Now(); }
    bool ToLocalTime(int64_t tTime, SLocalTime& out) override { return GetDefaultEnv().Clock().ToLocalTime(tTime, out); }
    void SleepMs(uint32_t) override {}
};

// The real environment on that clock.
class CNoSleepEnv : public CEnvWrapper {
public:
    CNoSleepEnv() : CEnvWrapper(GetDefaultEnv()) {}
    CClock& Clock() override { return m_clock; }

private:
    CNoSleepClock m_clock;
};

#if defined(_WIN32)
double CpuMs() {
    FILETIME tCreate, tExit, tKernel, tUser;
    if (!GetProcessTimes(GetCurrentProcess(), &tCreate, &tExit, &tKernel, &tUser)) return 0;
    auto ms = [](const FILETIME& t) {
        return static_cast<double>((static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 1e4;
    };
    return ms(tKernel) + ms(tUser);
}

long PeakMemoryKiB() {
    PROCESS_MEMORY_COUNTERS counters;
    if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters)) return 0;
    return static_cast<long>(counters.PeakWorkingSetSize / 1024);
}
#else
double CpuMs() {
    rusage ru;
    getrusage(RUSAGE_SELF, &ru);
    return (ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) * 1e3 + (ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e3;
}

long PeakMemoryKiB() {
    rusage ru;
    getrusage(RUSAGE_SELF, &ru);
    return ru.ru_maxrss;
}
#endif

int RunPasses(int nRuns) {
    platform::InitHttp();
    CNoSleepEnv env;
    SetEnv(&env);
    const double nStart = CpuMs();
    {
        const std::string strConfig = GetModuleDir() + "config.ini";
        CRefreshWorker worker(SWorkerArgs{&theIniReader, &strConfig, &g_bStopRequested});
        for (int i = 0; i < nRuns; ++i) worker.Pass();
    }
    const double nCpu = CpuMs() - nStart;
    SetEnv(nullptr);
    printf("passes %d cpu_ms %.3f max_rss_kib %ld\n", nRuns, nCpu, PeakMemoryKiB());
    return 0;
}

int RunFetches(int nFetches, const char* szUrl) {
    platform::InitHttp();
    CPageFetcher fetcher(&g_bStopRequested);
    std::string strPage;
    int nStatus = 0;
    const double nStart = CpuMs();
    for (int i = 0; i < nFetches; ++i) {
        strPage.clear();  // the buffer is lent again, as the worker lends its own
        nStatus = fetcher.FetchPage(szUrl, strPage);
    }
    const double nCpu = CpuMs() - nStart;
    printf("fetches %d cpu_ms %.3f status %d bytes %zu\n", nFetches, nCpu, nStatus, strPage.size());
    return nStatus != 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        fprintf(stderr, "usage: %s SECONDS|--runs N [Key=Value ...] | --fetches N URL\n", argv[0]);
        return 2;
    }
    if (strcmp(argv[1], "--fetches") == 0) return argc == 4 ? RunFetches(atoi(argv[2]), argv[3]) : 2;
    const bool bRuns = strcmp(argv[1], "--runs") == 0;
    int nFirstSetting = bRuns ? 3 : 2;
    if (bRuns && argc < 3) return 2;
    for (int i = nFirstSetting; i < argc; ++i) {
        std::string strArg = argv[i];
        size_t nEq = strArg.find('=');
        if (nEq == std::string::npos) continue;
        theIniReader.WriteString(strArg.substr(nEq + 1), strArg.substr(0, nEq), kSettingsSection);
    }
    if (bRuns) return RunPasses(atoi(argv[2]));
    const int nSeconds = atoi(argv[1]);
    theRefreshThread.StartRefresh();
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    printf("after the first pass: %s\n", ResidentMemory().c_str());
    std::this_thread::sleep_for(std::chrono::seconds(nSeconds));
    printf("after %d s: %s\n", nSeconds, ResidentMemory().c_str());
    g_bStopRequested = 1;
    return 0;
}
