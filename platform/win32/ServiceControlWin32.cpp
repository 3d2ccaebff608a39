// Windows side of the service-manager seam, the dispatcher and the status:
// the Service Control Manager's dispatcher and control handler, and the
// console run in which the console stands in for the manager.
#include <windows.h>

#include <atomic>
#include <string>
#include <thread>

#include "platform/Service.h"

namespace platform {

namespace {

std::atomic<ServiceEntryFn> g_pfnEntry{nullptr};
std::atomic<ControlHandlerFn> g_pfnHandler{nullptr};

// The console run: the console stands in for the manager.
std::atomic<bool> g_bConsoleRun{false};
std::atomic<bool> g_bConsoleStopPending{false};
std::atomic<bool> g_bConsoleEntryEnded{false};
HANDLE g_hConsoleWake = nullptr;
// The status handle handed out in a console run; never given to the SCM.
int g_nConsoleStatusMark = 0;

void WINAPI EntryTrampoline(DWORD nArgs, LPSTR* pArgs) {
    ServiceEntryFn pfn = g_pfnEntry.load();
    if (pfn) pfn(nArgs, pArgs);
}

void WINAPI HandlerTrampoline(DWORD nCode) {
    ControlHandlerFn pfn = g_pfnHandler.load();
    if (pfn) pfn(nCode);
}

BOOL WINAPI ConsoleCtrl(DWORD nType) {
    switch (nType) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
        g_bConsoleStopPending = true;
        if (g_hConsoleWake) SetEvent(g_hConsoleWake);
        return TRUE;
    default:
        return FALSE;
    }
}

// Runs the service entry on a thread of its own and delivers Ctrl+C (and the
// like) as the stop control on the calling thread, until the entry returns.
bool RunConsoleDispatcher(const char* szName, ServiceEntryFn pfnEntry) {
    g_hConsoleWake = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    g_bConsoleRun = true;
    g_bConsoleEntryEnded = false;
    g_bConsoleStopPending = false;
    SetConsoleCtrlHandler(ConsoleCtrl, TRUE);

    char* pArgs[2] = {const_cast<char*>(szName), nullptr};
    std::thread service([pfnEntry, &pArgs] {
        pfnEntry(1, pArgs);
        g_bConsoleEntryEnded = true;
        if (g_hConsoleWake) SetEvent(g_hConsoleWake);
    });
    while (!g_bConsoleEntryEnded) {
        if (g_hConsoleWake) {
            WaitForSingleObject(g_hConsoleWake, 100);
        } else {
            Sleep(100);
        }
        ControlHandlerFn pfnHandler = g_pfnHandler.load();
        if (pfnHandler && g_bConsoleStopPending.exchange(false)) pfnHandler(kControlStop);
    }
    service.join();
    SetConsoleCtrlHandler(ConsoleCtrl, FALSE);
    g_bConsoleRun = false;
    if (g_hConsoleWake) {
        CloseHandle(g_hConsoleWake);
        g_hConsoleWake = nullptr;
    }
    return true;
}

}  // namespace

bool RunServiceDispatcher(const char* szName, ServiceEntryFn pfnEntry, bool bConsole) {
    g_pfnEntry = pfnEntry;
    if (bConsole) return RunConsoleDispatcher(szName, pfnEntry);
    SERVICE_TABLE_ENTRYA table[2];
    table[0].lpServiceName = const_cast<char*>(szName);
    table[0].lpServiceProc = EntryTrampoline;
    table[1].lpServiceName = nullptr;
    table[1].lpServiceProc = nullptr;
    return StartServiceCtrlDispatcherA(table) != 0;
}

StatusHandle RegisterControlHandler(const char* szName, ControlHandlerFn pfnHandler) {
    g_pfnHandler = pfnHandler;
    if (g_bConsoleRun) return &g_nConsoleStatusMark;
    return reinterpret_cast<StatusHandle>(RegisterServiceCtrlHandlerA(szName, HandlerTrampoline));
}

bool ReportServiceStatus(StatusHandle hStatus, const SServiceStatus& status) {
    if (hStatus == &g_nConsoleStatusMark) return true;
    SERVICE_STATUS record;
    record.dwServiceType = status.dwServiceType;
    record.dwCurrentState = status.dwCurrentState;
    record.dwControlsAccepted = status.dwControlsAccepted;
    record.dwWin32ExitCode = status.dwWin32ExitCode;
    record.dwServiceSpecificExitCode = status.dwServiceSpecificExitCode;
    record.dwCheckPoint = status.dwCheckPoint;
    record.dwWaitHint = status.dwWaitHint;
    return SetServiceStatus(reinterpret_cast<SERVICE_STATUS_HANDLE>(hStatus), &record) != 0;
}

// The Service Control Manager keeps no free text about a service.
void ReportServiceText(const std::string&) {}

}  // namespace platform
