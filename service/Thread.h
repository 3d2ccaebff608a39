// The bridge from the service to the refresh worker: the process-wide stop
// flag and the object that starts and holds the worker thread.
// Thread safety: the stop flag is atomic and read by every thread; CThread is
// started and stopped by the service thread only, the worker reads its
// config path.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "platform/Thread.h"
#include "refresh/RefreshWorker.h"

// 0 while the service keeps going, 1 once it is stopping. The worker looks at
// it at the top of every pass, after its sleep and before every run; a
// request in flight gives up when it is set.
extern std::atomic<int32_t> g_bStopRequested;

// Sets g_bStopRequested and wakes every sleep that waits on it (the run
// loop's, the worker's), so that they end now rather than at their end.
void RequestStop();

class CThread {
public:
    CThread();
    // Ends a worker that is still running (see EndWorker).
    ~CThread();

    CThread(const CThread&) = delete;
    CThread& operator=(const CThread&) = delete;

    // Records the start in config.ini (LastStart), fixes the path of
    // config.ini for the worker and starts the worker thread. 1 when the
    // thread was created, else 0.
    int StartRefresh();

    // Ends the worker before the objects it uses go away: requests the stop,
    // gives the worker a short while to leave by itself (its sleeps wake at
    // once, a request in flight gives up), and ends it forcibly when it is
    // still there after that (on Linux the forced end ends the process with
    // nExitStatus). Nothing when no worker was started.
    void EndWorker(int nExitStatus);

    // Handle of the worker thread; null until StartRefresh has created it.
    platform::ThreadHandle m_hWorker;
    // Full path of config.ini; empty until StartRefresh. Read by the worker.
    std::string m_strConfigPath;

private:
    // What the worker runs with: theIniReader, m_strConfigPath and
    // g_bStopRequested.
    SWorkerArgs m_workerArgs;
    // The objects whose worker is ended at process end, linked.
    static void EndAllWorkers(int nExitStatus);
    void LinkStarted();
    void UnlinkStarted();
    CThread* m_pNextStarted;
    bool m_bLinked;
};

// How long a worker is given to leave by itself before it is ended forcibly.
extern const uint32_t kWorkerEndGraceMs;

extern CThread theRefreshThread;
