// The refresh worker: one pass about every second, the reload of the settings
// when config.ini changes, the interval and hourly timetables, the status file
// log/time.txt and the run (page request, then judgement and logs).
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "http/CharSet.h"
#include "http/PageFetcher.h"
#include "log/LogWriter.h"
#include "platform/Platform.h"

class CIniReader;

// What the worker is given; all three outlive it.
struct SWorkerArgs {
    const CIniReader* pIniReader = nullptr;       // the settings
    const std::string* pConfigPath = nullptr;     // config.ini, whose time is watched (read anew every pass)
    const std::atomic<int32_t>* pStop = nullptr;  // 0 while the service keeps going, then 1
};

// What the worker knows between passes.
struct SWorkerState {
    int bEnabled = 1;           // SoftOn as last loaded; 0 also after a refused address
    int bLogOn = 1;             // results also go to the daily log (Log)
    int nMode = 0;              // 0 = every nInterval passes, 1 = once an hour
    int32_t nTarget = 0;        // hourly: the second within the hour that is due
    uint32_t nInterval = 0;     // interval: passes from one run to the next
    uint32_t nCountdown = 0;    // interval: passes left until the next run
    int32_t nLastHour = -1;     // hourly: clock hour of the last run, -1 for none
    platform::SFileStamp configStamp;  // config.ini as it was at the last reload
    std::string strUrl;         // the address requested
    std::string strPage;        // the answer, then the result text; one buffer for the runs of pages up to 4 MiB
    std::string strStatusPath;  // log/time.txt beside the executable
};

class CRefreshWorker {
public:
    explicit CRefreshWorker(const SWorkerArgs& args);

    CRefreshWorker(const CRefreshWorker&) = delete;
    CRefreshWorker& operator=(const CRefreshWorker&) = delete;

    // One pass of the loop; 0 when the stop flag was found set at its top
    // (nothing else done), else 1. A stop during the pass ends it early: no
    // work after the sleep it wakes, no run begun, no tail after a run. A
    // pass that throws is ended there and noted in the system log; no
    // exception leaves it.
    int Pass();
    // Passes until the stop flag ends the loop.
    void Run();

private:
    void RunPass();
    void NotePassFailure(const char* szWhat) noexcept;
    // 1 when the pass goes on after the reload, 0 when the reload ends it.
    int LoadSettings();
    void StepHourly(int nSecondsInHour, int nHour);
    void StepInterval();
    // 1 when the run was judged and recorded, 0 when the stop cut its request
    // short (nothing recorded).
    int PerformRun();
    void WriteStatus(const std::string& strText);
    bool StopRequested() const { return m_bStop.load() != 0; }
    // Sleeps, or less when the stop comes: true when it came.
    bool SleepUnlessStopped(uint32_t nMs) const;
    // Tells the service manager what the worker now waits for, when that
    // differs from what it last said it waits for.
    void ShowWaiting(const std::string& strText);

    // Built in this order when the worker starts, destroyed in reverse.
    CPageFetcher m_fetcher;
    CLogWriter m_logWriter;
    CCharSet m_charSet;

    const CIniReader& m_iniReader;
    const std::string& m_strConfigPath;
    const std::atomic<int32_t>& m_bStop;
    bool m_bLoadedOnce;
    SWorkerState m_state;
    std::string m_strWaitText;  // the last waiting text shown to the service manager
};

// The routine of the worker thread. pArg is the SWorkerArgs it runs with.
// Returns 0 when the stop flag ends it.
uint32_t RefreshWorker(void* pArg);

// "1天2时3分4秒", "2时3分4秒", "3分4秒" or "4秒" (code page 936); a negative
// count gets "已过：" in front of the text of its amount.
std::string FormatDuration(int32_t nSeconds);

// Deletes a plain file without question or recycle bin: 0 when the path is
// longer than 258 bytes or is no existing file, else 1 (deletion attempted).
int DeleteFileSilent(const std::string& strPath);

// The host name that the worker refuses to request, in lower case.
extern const char* const kVendorDomain;
