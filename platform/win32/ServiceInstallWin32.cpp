// Windows side of the service-manager seam, the registration: the Service
// Control Manager creates and deletes the service and restarts it after a
// crash.
#include <windows.h>

#include <string>
#include <vector>

#include "platform/Service.h"

namespace platform {

namespace {

SC_HANDLE AsSc(ServiceHandle h) { return static_cast<SC_HANDLE>(h); }

}  // namespace

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

}  // namespace platform
