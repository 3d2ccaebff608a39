// A small service framework: name, version and status record of one service;
// installation and removal; the event source; the control dispatcher, the
// service entry and the control handler; and nine virtual operations for the
// concrete service to fill in.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

#include "platform/Service.h"

class CNTService {
public:
    explicit CNTService(const char* szServiceName);
    virtual ~CNTService();

    CNTService(const CNTService&) = delete;
    CNTService& operator=(const CNTService&) = delete;

    // Slot 1: runs while the service is to go on.
    virtual void RunLoop();
    // Slot 2: 1 on success.
    virtual int InitService();
    // Slots 3 to 7: hooks of the standard controls.
    virtual void OnStopRequest();
    virtual void OnInterrogateRequest();
    virtual void OnPauseRequest();
    virtual void OnContinueRequest();
    virtual void OnShutdownRequest();
    // Slot 8: a user-defined control (128 and above); 1 when handled.
    virtual int OnCustomControl(uint32_t nCode);

    // 1 when the first argument was an option and has been handled.
    int HandleCommandLine(int nArgs, char** pArgs);
    int IsServiceInstalled();
    int InstallService();
    int RemoveService();
    // 1 when the installed service may be removed by this program: its
    // registration runs this very file. Otherwise prints which program it
    // runs (and, for a package's, how the package is removed) and gives 0.
    int CheckServiceOwner();
    // Reports one event; the three texts may each be absent.
    void WriteEventLog(uint16_t nType, uint32_t nEventId, const char* szText1 = nullptr,
                       const char* szText2 = nullptr, const char* szText3 = nullptr);
    // Runs the dispatcher; with kConsoleRun the console stands in for the
    // manager.
    int RunDispatcher(bool bConsole = false);
    void ReportStatus(uint32_t nState);
    int BeginService();

    static void ServiceEntry(uint32_t nArgs, char** pArgs);
    static void ControlHandler(uint32_t nCode);

    char m_szName[64];
    int32_t m_nVersionMajor;
    int32_t m_nVersionMinor;
    std::atomic<platform::StatusHandle> m_hStatus;
    platform::SServiceStatus m_status;
    std::atomic<int32_t> m_bRunning;
    platform::EventSourceHandle m_hEventLog;

    static CNTService* s_pInstance;

private:
    // Guards the first registration of the event source.
    std::mutex m_eventLogLock;
};

// The argument of RunDispatcher for the console run (-f).
const bool kConsoleRun = true;

// Events of the Application log.
const uint32_t kEventInstalled = 100;
const uint32_t kEventRemoved = 101;
const uint32_t kEventRemoveFailed = 102;
const uint32_t kEventCtrlHandlerFailed = 103;
const uint32_t kEventInitFailed = 104;
const uint32_t kEventStarted = 105;
const uint32_t kEventBadRequest = 106;
const uint32_t kEventStopped = 108;
// (Event 109 is the log writer's: log/LogWriter.h.)

// What the service manager is asked to do when the service crashes (set at
// installation): restart it after 2 s, twice, then after a minute each time;
// the count of crashes starts again after a day without one.
platform::SFailureActions BuildFailureActions();

// The registry path under which every service has its key.
inline constexpr char kServicesKeyPath[] = "SYSTEM\\CurrentControlSet\\Services\\";

// Builds "SYSTEM\CurrentControlSet\Services\" + name + suffix in a buffer of
// 1024 bytes by bounded copy and append.
void BuildServiceKeyPath(char (&szKey)[1024], const char* szPrefix, const char* szName,
                         const char* szSuffix);
