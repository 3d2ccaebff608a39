// Linux side of the thread seam: std::thread with a completion flag that a
// bounded wait can look at.
#include <stdlib.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>

#include "platform/Thread.h"

namespace platform {

struct SThreadRecord {
    ThreadRoutine pfnRoutine = nullptr;
    void* pArg = nullptr;
    std::mutex lock;
    std::condition_variable ended;
    bool bEnded = false;
    std::thread thread;
};

namespace {

void RunRecord(SThreadRecord* pRecord) {
    pRecord->pfnRoutine(pRecord->pArg);
    std::lock_guard<std::mutex> guard(pRecord->lock);
    pRecord->bEnded = true;
    pRecord->ended.notify_all();
}

}  // namespace

ThreadHandle StartThread(ThreadRoutine pfnRoutine, void* pArg) {
    SThreadRecord* pRecord = new (std::nothrow) SThreadRecord;
    if (!pRecord) return nullptr;
    pRecord->pfnRoutine = pfnRoutine;
    pRecord->pArg = pArg;
    try {
        pRecord->thread = std::thread(RunRecord, pRecord);
    } catch (const std::system_error&) {
        delete pRecord;
        return nullptr;
    }
    return pRecord;
}

bool WaitThreadEnd(ThreadHandle hThread, uint32_t nMs) {
    if (!hThread) return true;
    std::unique_lock<std::mutex> guard(hThread->lock);
    return hThread->ended.wait_for(guard, std::chrono::milliseconds(nMs),
                                   [hThread] { return hThread->bEnded; });
}

void EndThreadForcibly(ThreadHandle, int nExitStatus) {
    // Nothing may run beneath the thread any more: no destructor, no handler.
    fflush(nullptr);
    _exit(nExitStatus);
}

void ReleaseThread(ThreadHandle hThread) {
    if (!hThread) return;
    if (hThread->thread.joinable()) hThread->thread.join();
    delete hThread;
}

namespace {

std::atomic<void (*)(int)> g_pfnAtEnd{nullptr};

// Runs from exit(), before the process-wide objects are destroyed; glibc
// tells the exit status (on_exit), elsewhere the handler gets 0.
#ifdef __GLIBC__
void OnProcessEnd(int nStatus, void*) {
    if (void (*pfn)(int) = g_pfnAtEnd.load()) pfn(nStatus);
}
#else
void OnProcessEnd() {
    if (void (*pfn)(int) = g_pfnAtEnd.load()) pfn(0);
}
#endif

}  // namespace

void CallAtProcessEnd(void (*pfnHandler)(int)) {
    g_pfnAtEnd = pfnHandler;
#ifdef __GLIBC__
    on_exit(OnProcessEnd, nullptr);
#else
    atexit(OnProcessEnd);
#endif
}

}  // namespace platform
