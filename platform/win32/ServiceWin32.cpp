// Windows side of the service-manager seam: the Service Control Manager, the
// Application event log, the registry and the string resources.
#include <windows.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

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

HKEY AsKey(RegKeyHandle h) { return static_cast<HKEY>(h); }
SC_HANDLE AsSc(ServiceHandle h) { return static_cast<SC_HANDLE>(h); }

}  // namespace

uint32_t GetLastSystemError() { return GetLastError(); }

ServiceHandle OpenServiceManager() {
    return OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
}

ServiceHandle OpenServiceByName(ServiceHandle hManager, const char* szName, uint32_t nAccess) {
    return OpenServiceA(AsSc(hManager), szName, nAccess);
}

ServiceHandle CreateOwnProcessService(ServiceHandle hManager, const char* szName,
                                      const char* szPath, const char*) {
    // The manager reads the image path as a command line: unquoted, a path
    // with blanks would be tried at each blank (C:\Program.exe first).
    // The description is kept as a registry value of the service instead.
    std::string strImagePath = std::string("\"") + szPath + "\"";
    return CreateServiceA(AsSc(hManager), szName, szName, SERVICE_ALL_ACCESS,
                          SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START, SERVICE_ERROR_NORMAL,
                          strImagePath.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr);
}

bool SetFailureActions(ServiceHandle hService, const SFailureActions& actions) {
    std::vector<SC_ACTION> list;
    for (const SFailureAction& a : actions.actions) {
        SC_ACTION action;
        action.Type = a.nType == kFailureActionRestart ? SC_ACTION_RESTART : SC_ACTION_NONE;
        action.Delay = a.nDelayMs;
        list.push_back(action);
    }
    SERVICE_FAILURE_ACTIONSA info;
    info.dwResetPeriod = actions.nResetSeconds;
    info.lpRebootMsg = nullptr;
    info.lpCommand = nullptr;
    info.cActions = static_cast<DWORD>(list.size());
    info.lpsaActions = list.data();
    return ChangeServiceConfig2A(AsSc(hService), SERVICE_CONFIG_FAILURE_ACTIONS, &info) != 0;
}

bool DeleteServiceEntry(ServiceHandle hService) { return DeleteService(AsSc(hService)) != 0; }

// The Service Control Manager keeps no owner: whoever may remove it, does.
EServiceOwner GetServiceOwner(ServiceHandle, const std::string&, std::string& strRuns) {
    strRuns.clear();
    return kServiceOfThisProgram;
}

void CloseServiceEntry(ServiceHandle hHandle) {
    // Keeps the error of the call that failed before for the caller.
    DWORD nError = GetLastError();
    if (hHandle) CloseServiceHandle(AsSc(hHandle));
    SetLastError(nError);
}

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

EventSourceHandle OpenEventSource(const char* szName) {
    return RegisterEventSourceA(nullptr, szName);
}

bool ReportEventTo(EventSourceHandle hSource, uint16_t nType, uint32_t nEventId,
                   uint16_t nStrings, const char* const* pStrings) {
    return ReportEventA(static_cast<HANDLE>(hSource), nType, 0, nEventId, nullptr, nStrings, 0,
                        const_cast<LPCSTR*>(pStrings), nullptr) != 0;
}

void CloseEventSource(EventSourceHandle hSource) {
    DeregisterEventSource(static_cast<HANDLE>(hSource));
}

RegKeyHandle OpenRegKeyForQuery(const char* szPath) {
    HKEY hKey = nullptr;
    LONG nResult = RegOpenKeyExA(HKEY_LOCAL_MACHINE, szPath, 0, KEY_QUERY_VALUE, &hKey);
    if (nResult != ERROR_SUCCESS) {
        SetLastError(static_cast<DWORD>(nResult));
        return nullptr;
    }
    return hKey;
}

RegKeyHandle CreateRegKey(const char* szPath) {
    HKEY hKey = nullptr;
    LONG nResult = RegCreateKeyA(HKEY_LOCAL_MACHINE, szPath, &hKey);
    if (nResult != ERROR_SUCCESS) {
        SetLastError(static_cast<DWORD>(nResult));
        return nullptr;
    }
    return hKey;
}

RegKeyHandle CreateRegKeyForWrite(const char* szPath) {
    HKEY hKey = nullptr;
    char szClass[1] = {0};
    LONG nResult = RegCreateKeyExA(HKEY_LOCAL_MACHINE, szPath, 0, szClass, 0, KEY_WRITE, nullptr,
                                   &hKey, nullptr);
    if (nResult != ERROR_SUCCESS) {
        SetLastError(static_cast<DWORD>(nResult));
        return nullptr;
    }
    return hKey;
}

bool QueryRegValue4(RegKeyHandle hKey, const char* szValue, int32_t& nValue) {
    // Read into a value of our own and take it only when exactly four bytes
    // came back: a shorter text would fill part of the number, and after
    // ERROR_MORE_DATA the buffer's content is undefined.
    int32_t nRead = 0;
    DWORD nSize = sizeof(nRead);
    if (RegQueryValueExA(AsKey(hKey), szValue, nullptr, nullptr, reinterpret_cast<BYTE*>(&nRead),
                         &nSize) != ERROR_SUCCESS ||
        nSize != sizeof(nRead)) {
        return false;
    }
    nValue = nRead;
    return true;
}

bool SetRegDword(RegKeyHandle hKey, const char* szValue, uint32_t nData) {
    DWORD nDword = nData;
    return RegSetValueExA(AsKey(hKey), szValue, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&nDword),
                          sizeof(nDword)) == ERROR_SUCCESS;
}

bool SetRegText(RegKeyHandle hKey, const char* szValue, const char* szText, bool bExpand) {
    return RegSetValueExA(AsKey(hKey), szValue, 0, bExpand ? REG_EXPAND_SZ : REG_SZ,
                          reinterpret_cast<const BYTE*>(szText),
                          static_cast<DWORD>(strlen(szText) + 1)) == ERROR_SUCCESS;
}

void CloseRegKey(RegKeyHandle hKey) {
    if (hKey) RegCloseKey(AsKey(hKey));
}

// The console takes code page 936 text as it is.
std::string ToConsoleText(const std::string& strLine) { return strLine; }

std::string LoadStringResource(uint32_t nId, const char*) {
    char szText[1024] = {0};
    int n = LoadStringA(GetModuleHandleA(nullptr), nId, szText, sizeof(szText));
    if (n <= 0) return std::string();
    return std::string(szText, static_cast<size_t>(n));
}

}  // namespace platform
