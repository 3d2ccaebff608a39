// Test helper of the Windows build: drives an installed service through the
// service API, since Wine's sc has no way to send a user-defined control.
//
//   ServiceCtl NAME STEP...
//
// Steps, run in order, each printing one line:
//   start             StartServiceA                 "start ok" / "start error E"
//   wait:STATE:MS     polls until the state is STATE "state S after T ms" (or "timeout S")
//   control:CODE      ControlService(CODE)          "control CODE ok" / "... error E"
//   sleep:MS          waits                         "slept"
//   query             QueryServiceStatus            "state S exit E"
//   reg:KEY:VALUE     reads a DWORD under HKLM      "reg VALUE N" / "reg VALUE missing"
//   failure           the failure actions           "failure reset S: T/MS T/MS ..." / "failure error E"
// Exit code: 0 when the service could be opened, else 1.
#include <windows.h>

#include <cstdio>
#include <cstring>

namespace {

void RunStep(SC_HANDLE hService, const char* szStep) {
    SERVICE_STATUS status = {};
    unsigned long nArg = 0, nLimit = 0;
    char szKey[512], szValue[128];
    if (strcmp(szStep, "start") == 0) {
        if (StartServiceA(hService, 0, nullptr)) printf("start ok\n");
        else printf("start error %lu\n", GetLastError());
    } else if (sscanf(szStep, "wait:%lu:%lu", &nArg, &nLimit) == 2) {
        for (ULONGLONG tStart = GetTickCount64();; Sleep(20)) {
            bool bQueried = QueryServiceStatus(hService, &status) != 0;
            ULONGLONG nElapsed = GetTickCount64() - tStart;
            if (bQueried && status.dwCurrentState == nArg) {
                printf("state %lu after %llu ms\n", status.dwCurrentState, nElapsed);
                break;
            }
            if (nElapsed > nLimit) {
                printf("timeout %lu\n", bQueried ? status.dwCurrentState : 0UL);
                break;
            }
        }
    } else if (sscanf(szStep, "control:%lu", &nArg) == 1) {
        if (ControlService(hService, nArg, &status)) printf("control %lu ok\n", nArg);
        else printf("control %lu error %lu\n", nArg, GetLastError());
    } else if (sscanf(szStep, "sleep:%lu", &nArg) == 1) {
        Sleep(nArg);
        printf("slept\n");
    } else if (strcmp(szStep, "query") == 0) {
        if (QueryServiceStatus(hService, &status)) printf("state %lu exit %lu\n", status.dwCurrentState, status.dwWin32ExitCode);
        else printf("query error %lu\n", GetLastError());
    } else if (sscanf(szStep, "reg:%511[^:]:%127s", szKey, szValue) == 2) {
        HKEY hKey = nullptr;
        DWORD nValue = 0, nSize = sizeof(nValue);
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, szKey, 0, KEY_QUERY_VALUE, &hKey) == ERROR_SUCCESS &&
            RegQueryValueExA(hKey, szValue, nullptr, nullptr, reinterpret_cast<BYTE*>(&nValue), &nSize) == ERROR_SUCCESS)
            printf("reg %s %ld\n", szValue, static_cast<long>(static_cast<LONG>(nValue)));
        else
            printf("reg %s missing\n", szValue);
        if (hKey) RegCloseKey(hKey);
    } else if (strcmp(szStep, "failure") == 0) {
        union { SERVICE_FAILURE_ACTIONSA info; BYTE bytes[1024]; } buf = {};
        if (QueryServiceConfig2A(hService, SERVICE_CONFIG_FAILURE_ACTIONS, buf.bytes, sizeof(buf), &nArg)) {
            printf("failure reset %lu:", buf.info.dwResetPeriod);
            for (DWORD i = 0; i < buf.info.cActions; ++i)
                printf(" %d/%lu", buf.info.lpsaActions[i].Type, buf.info.lpsaActions[i].Delay);
            printf("\n");
        } else printf("failure error %lu\n", GetLastError());
    } else {
        printf("bad step %s\n", szStep);
    }
    fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        fprintf(stderr, "usage: ServiceCtl NAME STEP...\n");
        return 2;
    }
    SC_HANDLE hManager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    SC_HANDLE hService = hManager ? OpenServiceA(hManager, argv[1], SERVICE_ALL_ACCESS) : nullptr;
    if (!hService) {
        printf("open error %lu\n", GetLastError());
        if (hManager) CloseServiceHandle(hManager);
        return 1;
    }
    for (int i = 2; i < argc; ++i) RunStep(hService, argv[i]);
    CloseServiceHandle(hService);
    CloseServiceHandle(hManager);
    return 0;
}
