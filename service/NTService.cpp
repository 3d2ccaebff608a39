// The service framework: command line, registration, dispatcher, service
// entry and control handler. Everything that talks to the operating system
// goes through platform/Service.h.
#include "service/NTService.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "config/Product.h"
#include "config/TextUtil.h"
#include "log/LogWriter.h"
#include "platform/Clock.h"
#include "platform/Env.h"
#include "platform/Handle.h"
#include "platform/Platform.h"
#include "service/Thread.h"

CNTService* CNTService::s_pInstance = nullptr;

namespace {

const std::string kEventSourceKey = std::string(kServicesKeyPath) + "EventLog\\Application\\";

typedef CHandle<platform::ServiceHandle, platform::CloseServiceEntry, nullptr> CServiceEntry;
typedef CHandle<platform::RegKeyHandle, platform::CloseRegKey, nullptr> CRegKey;

// Bounded copy into a fixed buffer: at most nSize - 1 bytes and a zero.
void CopyBounded(char* szDest, size_t nSize, const char* szSrc) {
    size_t n = strlen(szSrc);
    if (n >= nSize) n = nSize - 1;
    memcpy(szDest, szSrc, n);
    szDest[n] = '\0';
}

// Bounded append to a zero-terminated text in a buffer of nSize bytes.
void AppendBounded(char* szDest, size_t nSize, const char* szSrc) {
    size_t nUsed = strlen(szDest);
    if (nUsed + 1 >= nSize) return;
    CopyBounded(szDest + nUsed, nSize - nUsed, szSrc);
}

// Case-insensitive comparison of ASCII option texts.
bool SameOption(const char* szArg, const char* szOption) {
    for (;; ++szArg, ++szOption) {
        char a = AsciiLower(*szArg), b = *szOption;
        if (a != b) return false;
        if (a == '\0') return true;
    }
}

}  // namespace

platform::SFailureActions BuildFailureActions() {
    // Two quick restarts (the Linux unit waits the same 2 s), then one a
    // minute for as long as the service keeps crashing: it runs unattended,
    // and a crash a minute costs little. A day without a crash starts the
    // count again.
    const platform::SFailureAction kQuick = {platform::kFailureActionRestart, 2000};
    const platform::SFailureAction kLater = {platform::kFailureActionRestart, 60000};
    return platform::SFailureActions{24 * 60 * 60, {kQuick, kQuick, kLater}};
}

void BuildServiceKeyPath(char (&szKey)[1024], const char* szPrefix, const char* szName,
                         const char* szSuffix) {
    CopyBounded(szKey, sizeof(szKey), szPrefix);
    AppendBounded(szKey, sizeof(szKey), szName);
    AppendBounded(szKey, sizeof(szKey), szSuffix);
}

CNTService::CNTService(const char* szServiceName)
    // The version is the project's (CMakeLists.txt), as the packages carry it.
    : m_nVersionMajor(VLM_VERSION_MAJOR), m_nVersionMinor(VLM_VERSION_MINOR), m_hStatus(nullptr),
      m_bRunning(0), m_hEventLog(nullptr) {
    CopyBounded(m_szName, sizeof(m_szName), szServiceName);
    m_status.dwServiceType = platform::kServiceWin32OwnProcess;
    m_status.dwCurrentState = platform::kServiceStopped;
    m_status.dwControlsAccepted = platform::kServiceAcceptStop;
    s_pInstance = this;
}

CNTService::~CNTService() {
    if (m_hEventLog) platform::CloseEventSource(m_hEventLog);
    if (s_pInstance == this) s_pInstance = nullptr;
}

void CNTService::RunLoop() {
    while (m_bRunning != 0 && !GetClock().SleepUnlessSet(1000, g_bStopRequested)) {
    }
}

int CNTService::InitService() { return 1; }
void CNTService::OnStopRequest() {}
void CNTService::OnInterrogateRequest() {}
void CNTService::OnPauseRequest() {}
void CNTService::OnContinueRequest() {}
void CNTService::OnShutdownRequest() {}
int CNTService::OnCustomControl(uint32_t) { return 0; }

int CNTService::HandleCommandLine(int nArgs, char** pArgs) {
    if (nArgs <= 1) return 0;
    const char* szArg = pArgs[1];
    if (SameOption(szArg, "-v") || SameOption(szArg, "/v")) {
        printf("%s Version %d.%d\n", m_szName, m_nVersionMajor, m_nVersionMinor);
        printf("The service is %s installed\n", IsServiceInstalled() ? "currently" : "not");
        fflush(stdout);
        return 1;
    }
    if (SameOption(szArg, "-i") || SameOption(szArg, "/i")) {
        if (IsServiceInstalled()) {
            printf("%s is already installed\n", m_szName);
        } else if (InstallService()) {
            printf("%s installed\n", m_szName);
        } else {
            int nError = static_cast<int>(platform::GetLastSystemError());
            printf("%s failed to install. Error %d\n", m_szName, nError);
        }
        fflush(stdout);
        return 1;
    }
    if (SameOption(szArg, "-u") || SameOption(szArg, "/u")) {
        if (!IsServiceInstalled()) {
            printf("%s is not installed\n", m_szName);
        } else if (!CheckServiceOwner()) {
            // Left installed: the run ends with an exit code that says so.
            m_status.dwWin32ExitCode = 1;
        } else if (RemoveService()) {
            char szPath[260] = {0};
            CopyBounded(szPath, sizeof(szPath), GetEnv().ExecutablePath().c_str());
            printf("%s removed. (You must delete the file (%s) yourself.)\n", m_szName, szPath);
        } else {
            int nError = static_cast<int>(platform::GetLastSystemError());
            printf("Could not remove %s. Error %d\n", m_szName, nError);
        }
        fflush(stdout);
        return 1;
    }
    // The console run: the service in the foreground, the console in the
    // place of the service manager.
    if (SameOption(szArg, "-f") || SameOption(szArg, "/f")) {
        RunDispatcher(kConsoleRun);
        return 1;
    }
    return 0;
}

int CNTService::IsServiceInstalled() {
    CServiceEntry manager(platform::OpenServiceManager());
    if (!manager) return 0;
    CServiceEntry service(
        platform::OpenServiceByName(manager.Get(), m_szName, platform::kServiceQueryConfig));
    return service ? 1 : 0;
}

int CNTService::CheckServiceOwner() {
    CServiceEntry manager(platform::OpenServiceManager());
    CServiceEntry service(
        manager ? platform::OpenServiceByName(manager.Get(), m_szName, platform::kServiceQueryConfig) : nullptr);
    if (!service) return 1;  // the removal reports what fails
    std::string strThis = GetEnv().ExecutablePath(), strRuns;
    platform::EServiceOwner eOwner = platform::GetServiceOwner(service.Get(), strThis, strRuns);
    if (eOwner == platform::kServiceOfThisProgram) return 1;
    if (strRuns.empty()) strRuns = "another program";
    if (eOwner == platform::kServiceOfPackage) {
        printf("%s runs %s of the package vlmrefresh: left installed (remove it with apt-get remove vlmrefresh)\n",
               m_szName, strRuns.c_str());
    } else {
        printf("%s runs %s, not %s: left installed (remove it with that file's -u)\n", m_szName,
               strRuns.c_str(), strThis.c_str());
    }
    return 0;
}

int CNTService::InstallService() {
    CServiceEntry manager(platform::OpenServiceManager());
    if (!manager) return 0;

    char szFilePath[260] = {0};
    CopyBounded(szFilePath, sizeof(szFilePath), GetEnv().ExecutablePath().c_str());

    CServiceEntry service(platform::CreateOwnProcessService(manager.Get(), m_szName, szFilePath,
                                                            kServiceDescription));
    if (!service) return 0;
    // Like the description, an extra: a manager that keeps no failure
    // actions does not fail the installation.
    platform::SetFailureActions(service.Get(), BuildFailureActions());

    char szKey[1024];
    BuildServiceKeyPath(szKey, kEventSourceKey.c_str(), m_szName, "");
    CRegKey eventKey(platform::CreateRegKey(szKey));
    if (!eventKey) return 0;
    platform::SetRegText(eventKey.Get(), "EventMessageFile", szFilePath, platform::kRegExpandableText);
    platform::SetRegDword(eventKey.Get(), "TypesSupported", 7);
    eventKey.Reset();

    BuildServiceKeyPath(szKey, kServicesKeyPath, m_szName, "");
    CRegKey serviceKey(platform::CreateRegKey(szKey));
    if (serviceKey) {
        char szDescription[260];
        CopyBounded(szDescription, sizeof(szDescription), kServiceDescription);
        platform::SetRegText(serviceKey.Get(), "Description", szDescription, platform::kRegPlainText);
        serviceKey.Reset();
    }

    WriteEventLog(platform::kEventInformation, kEventInstalled, m_szName);
    return 1;
}

int CNTService::RemoveService() {
    CServiceEntry manager(platform::OpenServiceManager());
    if (!manager) return 0;
    CServiceEntry service(platform::OpenServiceByName(manager.Get(), m_szName, platform::kServiceDelete));
    if (!service) return 0;
    bool bDeleted = platform::DeleteServiceEntry(service.Get());
    if (bDeleted) {
        WriteEventLog(platform::kEventInformation, kEventRemoved, m_szName);
    } else {
        WriteEventLog(platform::kEventError, kEventRemoveFailed, m_szName);
    }
    return bDeleted ? 1 : 0;
}

void CNTService::WriteEventLog(uint16_t nType, uint32_t nEventId, const char* szText1,
                               const char* szText2, const char* szText3) {
    const char* pStrings[3] = {szText1, szText2, szText3};
    uint16_t nStrings = 0;
    for (const char* sz : pStrings) {
        if (sz) ++nStrings;
    }
    platform::EventSourceHandle hSource;
    {
        // Both the dispatcher's thread and the service thread report events:
        // the first one registers the source, once.
        std::lock_guard<std::mutex> lock(m_eventLogLock);
        if (!m_hEventLog) m_hEventLog = platform::OpenEventSource(m_szName);
        hSource = m_hEventLog;
    }
    if (hSource) platform::ReportEventTo(hSource, nType, nEventId, nStrings, pStrings);
}

int CNTService::RunDispatcher(bool bConsole) {
    return platform::RunServiceDispatcher(m_szName, ServiceEntry, bConsole) ? 1 : 0;
}

void CNTService::ReportStatus(uint32_t nState) {
    m_status.dwCurrentState = nState;
    platform::ReportServiceStatus(m_hStatus, m_status);
}

int CNTService::BeginService() {
    ReportStatus(platform::kServiceStartPending);
    int bInitialised = InitService();
    // The thread's last error explains a failed initialisation only; after a
    // successful one it is whatever a harmless look-up left there (a missing
    // Parameters key leaves 2), not an exit code.
    uint32_t nLastError = platform::GetLastSystemError();
    m_status.dwWin32ExitCode = bInitialised ? 0 : nLastError;
    m_status.dwCheckPoint = 0;
    m_status.dwWaitHint = 0;
    if (bInitialised) {
        WriteEventLog(platform::kEventInformation, kEventStarted);
        ReportStatus(platform::kServiceRunning);
        return 1;
    }
    WriteEventLog(platform::kEventError, kEventInitFailed);
    ReportStatus(platform::kServiceStopped);
    return 0;
}

void CNTService::ServiceEntry(uint32_t, char**) {
    CNTService* pService = s_pInstance;
    if (!pService) return;
    pService->m_status.dwCurrentState = platform::kServiceStartPending;
    pService->m_hStatus = platform::RegisterControlHandler(pService->m_szName, ControlHandler);
    if (!pService->m_hStatus) {
        pService->WriteEventLog(platform::kEventError, kEventCtrlHandlerFailed);
        return;
    }
    if (pService->BeginService()) {
        {
            // Makes sure log/ exists beside the executable; nothing is
            // written through this object.
            CLogWriter logDirKeeper;
            pService->m_bRunning = 1;
            pService->m_status.dwWin32ExitCode = 0;
            pService->m_status.dwCheckPoint = 0;
            pService->m_status.dwWaitHint = 0;
            theRefreshThread.StartRefresh();
            pService->RunLoop();
        }
    }
    pService->m_bRunning = 0;
    RequestStop();
    // The worker is gone before stopped is reported: the manager, and an
    // installer that waits for the stop to replace the executable, take
    // stopped to mean that the process ends now and frees its file.
    theRefreshThread.EndWorker(0);
    pService->ReportStatus(platform::kServiceStopped);
}

void CNTService::ControlHandler(uint32_t nCode) {
    CNTService* pService = s_pInstance;
    if (!pService) return;
    switch (nCode) {
    case platform::kControlStop:
        pService->ReportStatus(platform::kServiceStopPending);
        pService->OnStopRequest();
        pService->m_bRunning = 0;
        RequestStop();
        pService->WriteEventLog(platform::kEventInformation, kEventStopped);
        break;
    case platform::kControlPause:
        pService->OnPauseRequest();
        break;
    case platform::kControlContinue:
        pService->OnContinueRequest();
        break;
    case platform::kControlInterrogate:
        pService->OnInterrogateRequest();
        break;
    case platform::kControlShutdown:
        pService->OnShutdownRequest();
        break;
    default:
        if (nCode < platform::kControlUserFirst || !pService->OnCustomControl(nCode)) {
            pService->WriteEventLog(platform::kEventError, kEventBadRequest);
        }
        break;
    }
    platform::ReportServiceStatus(pService->m_hStatus, pService->m_status);
}
