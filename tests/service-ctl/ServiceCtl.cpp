// Test helper of the Windows build: drives an installed service through the
// service API, since Wine's sc has no way to send a user-defined control.
//
//   ServiceCtl NAME STEP...
//
// Steps, run in order, each printing one line:
//   start             StartServiceA                 "start ok" / "start error E"
//   wait:STATE:MS     polls until the state is STATE "state S after T ms" (or "timeout S")
//   control:CODE      ControlService(CODE)          "control CODE ok" / "... error E"
//   sleep:MS          waits
//   query             QueryServiceStatus            "state S exit E"
//   reg:KEY:VALUE     reads a DWORD under HKLM      "reg VALUE N" / "reg VALUE missing"
//   regdelete:KEY     deletes a key under HKLM      "regdelete ok" / "regdelete error E"
// Exit code: 0 when the service could be opened, else 1.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

std::vector<std::string> Split(const std::string& strStep) {
    std::vector<std::string> parts;
    size_t nStart = 0;
    for (;;) {
        size_t nColon = strStep.find(':', nStart);
        parts.push_back(strStep.substr(nStart, nColon - nStart));
        if (nColon == std::string::npos) break;
        nStart = nColon + 1;
    }
    return parts;
}

void RunStep(SC_HANDLE hService, const std::string& strStep) {
    std::vector<std::string> parts = Split(strStep);
    const std::string& strVerb = parts[0];
    const char* szArg1 = parts.size() > 1 ? parts[1].c_str() : "";
    SERVICE_STATUS status = {};
    if (strVerb == "start") {
        if (StartServiceA(hService, 0, nullptr)) printf("start ok\n");
        else printf("start error %lu\n", GetLastError());
    } else if (strVerb == "wait" && parts.size() == 3) {
        DWORD nState = strtoul(szArg1, nullptr, 10);
        ULONGLONG nLimit = strtoull(parts[2].c_str(), nullptr, 10), tStart = GetTickCount64();
        for (;; Sleep(20)) {
            bool bQueried = QueryServiceStatus(hService, &status) != 0;
            ULONGLONG nElapsed = GetTickCount64() - tStart;
            if (bQueried && status.dwCurrentState == nState) {
                printf("state %lu after %llu ms\n", status.dwCurrentState, nElapsed);
                break;
            }
            if (nElapsed > nLimit) {
                printf("timeout %lu\n", bQueried ? status.dwCurrentState : 0UL);
                break;
            }
        }
    } else if (strVerb == "control" && parts.size() == 2) {
        DWORD nCode = strtoul(szArg1, nullptr, 10);
        if (ControlService(hService, nCode, &status)) printf("control %lu ok\n", nCode);
        else printf("control %lu error %lu\n", nCode, GetLastError());
    } else if (strVerb == "sleep" && parts.size() == 2) {
        Sleep(strtoul(szArg1, nullptr, 10));
        printf("slept\n");
    } else if (strVerb == "query") {
        if (QueryServiceStatus(hService, &status)) printf("state %lu exit %lu\n", status.dwCurrentState, status.dwWin32ExitCode);
        else printf("query error %lu\n", GetLastError());
    } else if (strVerb == "reg" && parts.size() == 3) {
        HKEY hKey = nullptr;
        DWORD nValue = 0, nSize = sizeof(nValue);
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, szArg1, 0, KEY_QUERY_VALUE, &hKey) == ERROR_SUCCESS &&
            RegQueryValueExA(hKey, parts[2].c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(&nValue), &nSize) ==
                ERROR_SUCCESS)
            printf("reg %s %ld\n", parts[2].c_str(), static_cast<long>(static_cast<int32_t>(nValue)));
        else
            printf("reg %s missing\n", parts[2].c_str());
        if (hKey) RegCloseKey(hKey);
    } else if (strVerb == "regdelete" && parts.size() == 2) {
        LONG nResult = RegDeleteKeyA(HKEY_LOCAL_MACHINE, szArg1);
        if (nResult == ERROR_SUCCESS) printf("regdelete ok\n");
        else printf("regdelete error %ld\n", nResult);
    } else {
        printf("bad step %s\n", strStep.c_str());
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
