// Windows side of the thread seam: CreateThread, WaitForSingleObject and
// TerminateThread.
#include <windows.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "platform/Thread.h"

namespace platform {

struct SThreadRecord {
    ThreadRoutine pfnRoutine = nullptr;
    void* pArg = nullptr;
    HANDLE hThread = nullptr;
};

namespace {

DWORD WINAPI RunRecord(LPVOID pParam) {
    SThreadRecord* pRecord = static_cast<SThreadRecord*>(pParam);
    return pRecord->pfnRoutine(pRecord->pArg);
}

// How long a terminated thread is given to be gone (TerminateThread only
// starts the end).
const DWORD kTerminateWaitMs = 5000;

}  // namespace

ThreadHandle StartThread(ThreadRoutine pfnRoutine, void* pArg) {
    SThreadRecord* pRecord = new (std::nothrow) SThreadRecord;
    if (!pRecord) return nullptr;
    pRecord->pfnRoutine = pfnRoutine;
    pRecord->pArg = pArg;
    pRecord->hThread = CreateThread(nullptr, 0, RunRecord, pRecord, 0, nullptr);
    if (!pRecord->hThread) {
        delete pRecord;
        return nullptr;
    }
    return pRecord;
}

bool WaitThreadEnd(ThreadHandle hThread, uint32_t nMs) {
    if (!hThread) return true;
    return WaitForSingleObject(hThread->hThread, nMs) == WAIT_OBJECT_0;
}

void EndThreadForcibly(ThreadHandle hThread, int) {
    if (!hThread) return;
    TerminateThread(hThread->hThread, 0);
    WaitForSingleObject(hThread->hThread, kTerminateWaitMs);
}

void ReleaseThread(ThreadHandle hThread) {
    if (!hThread) return;
    CloseHandle(hThread->hThread);
    delete hThread;
}

namespace {

std::atomic<void (*)(int)> g_pfnAtEnd{nullptr};

// Runs from exit(), before the process-wide objects are destroyed.
void OnProcessEnd() {
    if (void (*pfn)(int) = g_pfnAtEnd.load()) pfn(0);
}

}  // namespace

void CallAtProcessEnd(void (*pfnHandler)(int)) {
    g_pfnAtEnd = pfnHandler;
    atexit(OnProcessEnd);
}

}  // namespace platform
