// The service-manager seam: service registration, the control dispatcher,
// status reports, the event log and the registry values of the service.
// Thread safety: SServiceStatus is read and written by several threads (its
// fields are atomic); ReportServiceStatus and ReportEventTo may be called from
// any thread; registration and the dispatcher run on the main thread.
//
// Windows: the Service Control Manager, the Application event log and the
// registry under HKEY_LOCAL_MACHINE.
// Linux: systemd. Installing writes a unit file into the administrator's unit
// directory (the package's unit, in the package unit directory, counts as
// installed too); the dispatcher talks the notify protocol on NOTIFY_SOCKET and
// turns signals into controls (SIGTERM/SIGINT = stop, SIGRTMIN+k = 128+k);
// events go to syslog; the registry is one small text file (see
// docs/service.md). Paths outside the executable's directory are taken under
// the environment's system root (platform/Env.h).
//
// Handles are opaque; a null handle means failure. Every function that fails
// leaves its reason for GetLastSystemError().
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

namespace platform {

// The status record reported to the service manager. The fields are those of
// the Windows record; each may be written by one thread while another reads it.
struct SServiceStatus {
    std::atomic<uint32_t> dwServiceType{0};
    std::atomic<uint32_t> dwCurrentState{0};
    std::atomic<uint32_t> dwControlsAccepted{0};
    std::atomic<uint32_t> dwWin32ExitCode{0};
    std::atomic<uint32_t> dwServiceSpecificExitCode{0};
    std::atomic<uint32_t> dwCheckPoint{0};
    std::atomic<uint32_t> dwWaitHint{0};
};

// Service types, states, controls and event types (the Windows numbers).
const uint32_t kServiceWin32OwnProcess = 0x10;
const uint32_t kServiceStopped = 1;
const uint32_t kServiceStartPending = 2;
const uint32_t kServiceStopPending = 3;
const uint32_t kServiceRunning = 4;
const uint32_t kServiceAcceptStop = 1;
const uint32_t kControlStop = 1;
const uint32_t kControlPause = 2;
const uint32_t kControlContinue = 3;
const uint32_t kControlInterrogate = 4;
const uint32_t kControlShutdown = 5;
const uint32_t kControlUserFirst = 128;
const uint16_t kEventError = 1;
const uint16_t kEventInformation = 4;
// Access rights used when opening a service.
const uint32_t kServiceQueryConfig = 1;
const uint32_t kServiceDelete = 0x10000;

typedef void* ServiceHandle;
typedef void* StatusHandle;
typedef void* EventSourceHandle;
typedef void* RegKeyHandle;
typedef void (*ServiceEntryFn)(uint32_t nArgs, char** pArgs);
typedef void (*ControlHandlerFn)(uint32_t nCode);

// The calling thread's last system error code (GetLastError / errno).
uint32_t GetLastSystemError();

// --- service registration -------------------------------------------------
// Opens the service manager with full access (Linux: the unit directory must
// be writable).
ServiceHandle OpenServiceManager();
// Opens the named service with the given access; null when it is not known.
ServiceHandle OpenServiceByName(ServiceHandle hManager, const char* szName, uint32_t nAccess);
// Registers a service of its own process that starts with the system, error
// control normal, running the program at szPath. Each side writes the path
// as its manager reads one whole path, blanks and all: Windows registers it
// in double quotes (unquoted, "C:\Program Files\..." would let the manager
// try C:\Program.exe first), Linux quotes ExecStart= where needed.
// szDescription (code page 936) is used where the manager keeps it with the
// registration itself (Linux: Description= of the unit).
ServiceHandle CreateOwnProcessService(ServiceHandle hManager, const char* szName,
                                      const char* szPath, const char* szDescription);
// Whose registration an opened service is, asked before the program at
// strProgram removes it. strRuns gets the program the registration runs
// (empty when not known). Windows: always the caller's (kServiceOfThisProgram).
// Linux: kServiceOfPackage for the package's unit, which only the package
// manager removes; else whether ExecStart= names strProgram (or the same file).
enum EServiceOwner { kServiceOfThisProgram, kServiceOfOtherProgram, kServiceOfPackage };
EServiceOwner GetServiceOwner(ServiceHandle hService, const std::string& strProgram,
                              std::string& strRuns);
// What the service manager does when the service's process ends without
// having reported stopped (a crash): one action for each failure in a row,
// the last one repeated for every later failure; the count starts again
// after nResetSeconds without a failure.
const uint32_t kFailureActionNone = 0;
const uint32_t kFailureActionRestart = 1;
struct SFailureAction {
    uint32_t nType;
    uint32_t nDelayMs;
};
struct SFailureActions {
    uint32_t nResetSeconds;
    std::vector<SFailureAction> actions;
};
// Hands the actions to the manager (Windows: ChangeServiceConfig2A). Linux:
// nothing, the unit restarts the service by itself (Restart=on-failure).
bool SetFailureActions(ServiceHandle hService, const SFailureActions& actions);
// Deletes the registration; a running service goes on until it is stopped.
// Linux: never the package's unit (EPERM).
bool DeleteServiceEntry(ServiceHandle hService);
void CloseServiceEntry(ServiceHandle hHandle);

// --- dispatcher and status ------------------------------------------------
// Runs the control dispatcher for one service: pfnEntry runs on a thread of
// its own and the controls are delivered on the calling thread. Returns when
// the service has stopped. Without a service manager behind the process it
// fails at once (false), unless bConsole is set: then the console takes the
// manager's place (Ctrl+C or SIGTERM stops; on Linux the real-time signals
// still give the user-defined controls).
bool RunServiceDispatcher(const char* szName, ServiceEntryFn pfnEntry, bool bConsole);
// Registers the control handler of the running service; null on failure.
StatusHandle RegisterControlHandler(const char* szName, ControlHandlerFn pfnHandler);
// Reports the status record as it stands.
bool ReportServiceStatus(StatusHandle hStatus, const SServiceStatus& status);
// A free-text line about the running service (code page 936), shown where the
// service manager shows such a line. Linux: sent as STATUS= in UTF-8 on
// NOTIFY_SOCKET (systemctl status shows it), with line ends and other control
// characters made blanks; nothing without NOTIFY_SOCKET. Windows: nothing,
// the Service Control Manager keeps no such text.
void ReportServiceText(const std::string& strText);

// --- event log ------------------------------------------------------------
EventSourceHandle OpenEventSource(const char* szName);
bool ReportEventTo(EventSourceHandle hSource, uint16_t nType, uint32_t nEventId,
                   uint16_t nStrings, const char* const* pStrings);
void CloseEventSource(EventSourceHandle hSource);

// --- registry values under HKEY_LOCAL_MACHINE -----------------------------
// Opens an existing key for reading values.
RegKeyHandle OpenRegKeyForQuery(const char* szPath);
// Creates or opens a key with full access (RegCreateKey).
RegKeyHandle CreateRegKey(const char* szPath);
// Creates or opens a non-volatile key for writing values (RegCreateKeyEx).
RegKeyHandle CreateRegKeyForWrite(const char* szPath);
// Reads a four-byte value (of any type) into nValue; false, leaving nValue
// as it was, when it is missing or of another size (Linux: not a number).
bool QueryRegValue4(RegKeyHandle hKey, const char* szValue, int32_t& nValue);
bool SetRegDword(RegKeyHandle hKey, const char* szValue, uint32_t nData);
// A text value with its terminating zero, plain or expandable (environment
// variables in it are expanded by its reader).
enum ERegText { kRegPlainText, kRegExpandableText };
bool SetRegText(RegKeyHandle hKey, const char* szValue, const char* szText, ERegText eType);
void CloseRegKey(RegKeyHandle hKey);

// --- console ----------------------------------------------------------------
// The console line (code page 936) as it is to be written to standard
// output: unchanged, except on Linux when standard output is the systemd
// journal (JOURNAL_STREAM names it), which takes UTF-8.
std::string ToConsoleText(const std::string& strLine);

// --- resources --------------------------------------------------------------
// String resource nId of the executable in the ANSI code page; empty when it
// cannot be found. The Linux build has no resources: it gives szBuiltIn, the
// text that the Windows build keeps as that resource.
std::string LoadStringResource(uint32_t nId, const char* szBuiltIn);

}  // namespace platform
