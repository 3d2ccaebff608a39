#include "service/Thread.h"

#include <mutex>

#include "config/DateTime.h"
#include "config/FileUtil.h"
#include "config/IniReader.h"
#include "platform/Clock.h"

std::atomic<int32_t> g_bStopRequested{0};

// The worker's sleeps wake with the stop and a request gives up within a
// tenth of a second, so a worker normally leaves within a few tens of
// milliseconds; the grace leaves room for a slow disk or a huge page being
// judged, and keeps the whole stop under 2 s when the forced end is needed.
const uint32_t kWorkerEndGraceMs = 1000;

void RequestStop() {
    g_bStopRequested = 1;
    GetClock().WakeSleepers();
}

namespace {
// Every CThread whose worker has been started and which still exists. The
// process-end handler walks it. It is registered when the first worker
// starts, after all process-wide objects were built, so it runs before their
// destructors: the worker is gone before theIniReader and the rest go away.
std::mutex g_startedLock;
CThread* g_pFirstStarted = nullptr;
std::once_flag g_handlerOnce;
}  // namespace

CThread::CThread() : m_hWorker(nullptr), m_pNextStarted(nullptr), m_bLinked(false) {}

CThread::~CThread() {
    EndWorker(0);
    UnlinkStarted();
    m_strConfigPath.clear();
    m_strConfigPath.shrink_to_fit();
}

int CThread::StartRefresh() {
    theIniReader.SetLastStart(GetDateTimeText());
    if (m_hWorker) {
        // A second start while a worker exists: a worker that is still running
        // goes on with its path; one that has ended is released and replaced.
        if (!platform::WaitThreadEnd(m_hWorker, 0)) return 1;
        platform::ReleaseThread(m_hWorker);
        m_hWorker = nullptr;
    }
    m_strConfigPath = GetModuleDir() + "config.ini";
    std::call_once(g_handlerOnce, [] { platform::CallAtProcessEnd(&CThread::EndAllWorkers); });
    m_workerArgs.pIniReader = &theIniReader;
    m_workerArgs.pConfigPath = &m_strConfigPath;
    m_workerArgs.pStop = &g_bStopRequested;
    m_hWorker = platform::StartThread(RefreshWorker, &m_workerArgs);
    if (!m_hWorker) return 0;
    LinkStarted();
    return 1;
}

void CThread::EndWorker(int nExitStatus) {
    if (!m_hWorker) return;
    RequestStop();
    if (!platform::WaitThreadEnd(m_hWorker, kWorkerEndGraceMs)) {
        platform::EndThreadForcibly(m_hWorker, nExitStatus);
    }
    platform::ReleaseThread(m_hWorker);
    m_hWorker = nullptr;
}

void CThread::EndAllWorkers(int nExitStatus) {
    std::lock_guard<std::mutex> guard(g_startedLock);
    for (CThread* p = g_pFirstStarted; p; p = p->m_pNextStarted) p->EndWorker(nExitStatus);
}

void CThread::LinkStarted() {
    std::lock_guard<std::mutex> guard(g_startedLock);
    if (m_bLinked) return;
    m_pNextStarted = g_pFirstStarted;
    g_pFirstStarted = this;
    m_bLinked = true;
}

void CThread::UnlinkStarted() {
    std::lock_guard<std::mutex> guard(g_startedLock);
    if (!m_bLinked) return;
    for (CThread** pp = &g_pFirstStarted; *pp; pp = &(*pp)->m_pNextStarted) {
        if (*pp == this) {
            *pp = m_pNextStarted;
            break;
        }
    }
    m_bLinked = false;
}
