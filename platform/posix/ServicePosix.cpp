// Linux side of the service-manager seam, on systemd:
// - the service is a unit file in the system unit directory; installing and
//   removing also enable / disable it where systemd is running;
// - the dispatcher talks the notify protocol (NOTIFY_SOCKET) and turns
//   signals into controls: SIGTERM and SIGINT stop, SIGRTMIN+k is 128+k;
// - events are syslog records sent to /dev/log;
// - the registry is one text file, var/lib/VlmRefresh/registry.conf.
// Every path outside the executable's directory lies under the system root:
// "/" unless VLM_SYSTEM_ROOT names another directory (tests do that).
#include <errno.h>
#include <fcntl.h>
#include <iconv.h>
#include <pthread.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "EventMessages.h"
#include "platform/Service.h"
#include "platform/TextUtil.h"

namespace platform {

namespace {

const char kStoreDirName[] = "VlmRefresh";

// --- paths under the system root ------------------------------------------

std::string SystemRoot() {
    const char* szRoot = getenv("VLM_SYSTEM_ROOT");
    std::string strRoot = (szRoot && *szRoot) ? szRoot : "";
    while (!strRoot.empty() && strRoot.back() == '/') strRoot.pop_back();
    return strRoot;
}

std::string UnitDir() { return SystemRoot() + "/etc/systemd/system"; }
std::string StoreDir() { return SystemRoot() + "/var/lib/" + kStoreDirName; }
std::string StorePath() { return StoreDir() + "/registry.conf"; }

// systemd is running when its runtime directory exists (as sd_booted says).
bool SystemdRunning() {
    struct stat st;
    return stat((SystemRoot() + "/run/systemd/system").c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Runs systemctl with the arguments, quietly, and waits for it.
void RunSystemctl(const std::vector<std::string>& args) {
    int nSavedErrno = errno;
    pid_t pid = fork();
    if (pid == 0) {
        int fdNull = open("/dev/null", O_RDWR);
        if (fdNull >= 0) {
            dup2(fdNull, 0);
            dup2(fdNull, 1);
            dup2(fdNull, 2);
        }
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>("systemctl"));
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execvp("systemctl", argv.data());
        _exit(127);
    }
    if (pid > 0) {
        int nStatus = 0;
        while (waitpid(pid, &nStatus, 0) < 0 && errno == EINTR) {
        }
    }
    errno = nSavedErrno;
}

// Code page 936 text to UTF-8 for files that other programs read as UTF-8;
// what cannot be converted is left out.
std::string Cp936ToUtf8(const std::string& strText) {
    iconv_t cd = iconv_open("UTF-8", "CP936");
    if (cd == reinterpret_cast<iconv_t>(-1)) return strText;
    std::string strOut;
    std::vector<char> buffer(strText.size() * 4 + 16);
    char* pIn = const_cast<char*>(strText.data());
    size_t nIn = strText.size();
    while (nIn > 0) {
        char* pOut = buffer.data();
        size_t nOut = buffer.size();
        size_t n = iconv(cd, &pIn, &nIn, &pOut, &nOut);
        strOut.append(buffer.data(), static_cast<size_t>(pOut - buffer.data()));
        if (n == static_cast<size_t>(-1) && errno != E2BIG) {
            // Skip the byte that does not convert.
            ++pIn;
            --nIn;
        }
    }
    iconv_close(cd);
    return strOut;
}

bool MakeDirs(const std::string& strPath) {
    std::string strPart;
    for (size_t i = 0; i <= strPath.size(); ++i) {
        if (i == strPath.size() || (strPath[i] == '/' && i > 0)) {
            strPart = strPath.substr(0, i);
            if (mkdir(strPart.c_str(), 0755) != 0 && errno != EEXIST) return false;
        }
    }
    return true;
}

// Writes a whole file through a temporary file and a rename, so that a
// reader sees either the old or the new content.
bool ReplaceFile(const std::string& strPath, const std::string& strBytes, mode_t nMode) {
    std::string strTemp = strPath + ".tmp";
    int fd = open(strTemp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, nMode);
    if (fd < 0) return false;
    size_t nDone = 0;
    while (nDone < strBytes.size()) {
        ssize_t n = write(fd, strBytes.data() + nDone, strBytes.size() - nDone);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            int nErr = errno;
            close(fd);
            unlink(strTemp.c_str());
            errno = nErr;
            return false;
        }
        nDone += static_cast<size_t>(n);
    }
    if (close(fd) != 0 || rename(strTemp.c_str(), strPath.c_str()) != 0) {
        int nErr = errno;
        unlink(strTemp.c_str());
        errno = nErr;
        return false;
    }
    return true;
}

// The whole file; false (errno set) when it cannot be opened or a read fails.
bool ReadFile(const std::string& strPath, std::string& strOut) {
    strOut.clear();
    int fd = open(strPath.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    char buffer[4096];
    for (;;) {
        ssize_t n = read(fd, buffer, sizeof(buffer));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            int nErr = errno;
            close(fd);
            strOut.clear();
            errno = nErr;
            return false;
        }
        if (n == 0) break;
        strOut.append(buffer, static_cast<size_t>(n));
    }
    close(fd);
    return true;
}

// --- service manager handles --------------------------------------------------

struct SScHandle {
    std::string strUnitDir;
    std::string strName;  // empty for the manager itself
};

std::string UnitPath(const SScHandle& h, const std::string& strName) {
    return h.strUnitDir + "/" + strName + ".service";
}

// ExecStart= wants the path as one word: quoted when it holds blanks or
// quotes, and "%" doubled (it starts a specifier).
std::string ExecStartWord(const std::string& strPath) {
    bool bQuote = strPath.find_first_of(" \t\"\\'") != std::string::npos;
    std::string strOut;
    if (bQuote) strOut += '"';
    for (char c : strPath) {
        if (c == '%') {
            strOut += "%%";
        } else if (bQuote && (c == '"' || c == '\\')) {
            strOut += '\\';
            strOut += c;
        } else {
            strOut += c;
        }
    }
    if (bQuote) strOut += '"';
    return strOut;
}

std::string DirectoryOf(const std::string& strPath) {
    size_t nSlash = strPath.rfind('/');
    if (nSlash == std::string::npos || nSlash == 0) return "/";
    return strPath.substr(0, nSlash);
}

std::string BuildUnit(const std::string& strPath, const std::string& strDescription) {
    std::string strDir = DirectoryOf(strPath);
    std::string strUnit;
    strUnit += "# Written by VlmRefreshSvc -i; removed by VlmRefreshSvc -u.\n";
    strUnit += "[Unit]\n";
    strUnit += "Description=" + Cp936ToUtf8(strDescription) + "\n";
    strUnit += "Wants=network-online.target\n";
    strUnit += "After=network-online.target\n";
    strUnit += "\n[Service]\n";
    strUnit += "Type=notify\n";
    strUnit += "NotifyAccess=main\n";
    strUnit += "ExecStart=" + ExecStartWord(strPath) + "\n";
    strUnit += "TimeoutStopSec=10\n";
    // Ended by a crash or an unexpected signal (not by a stop): started again.
    strUnit += "Restart=on-failure\nRestartSec=2\n";
    // The service writes only beside its executable and into its registry
    // store (StateDirectory); everything else is read-only or hidden.
    strUnit += "ReadWritePaths=" + ExecStartWord(strDir) + "\n";
    strUnit += std::string("StateDirectory=") + kStoreDirName + "\n";
    strUnit +=
        "UMask=0022\n"
        "NoNewPrivileges=yes\n"
        "ProtectSystem=strict\n"
        "ProtectHome=read-only\n"
        "PrivateTmp=yes\n"
        "PrivateDevices=yes\n"
        "DevicePolicy=closed\n"
        "ProtectKernelTunables=yes\n"
        "ProtectKernelModules=yes\n"
        "ProtectKernelLogs=yes\n"
        "ProtectControlGroups=yes\n"
        "ProtectClock=yes\n"
        "ProtectHostname=yes\n"
        "ProtectProc=invisible\n"
        "ProcSubset=pid\n"
        "RestrictNamespaces=yes\n"
        "RestrictRealtime=yes\n"
        "RestrictSUIDSGID=yes\n"
        "LockPersonality=yes\n"
        "MemoryDenyWriteExecute=yes\n"
        "RemoveIPC=yes\n"
        "KeyringMode=private\n"
        "RestrictAddressFamilies=AF_UNIX AF_INET AF_INET6 AF_NETLINK\n"
        "SystemCallArchitectures=native\n"
        "SystemCallFilter=@system-service\n"
        "SystemCallFilter=~@privileged @resources\n"
        "SystemCallErrorNumber=EPERM\n"
        "CapabilityBoundingSet=\n";
    strUnit += "\n[Install]\nWantedBy=multi-user.target\n";
    return strUnit;
}

// --- the dispatcher -------------------------------------------------------------

std::atomic<bool> g_bDispatching{false};
std::atomic<ControlHandlerFn> g_pfnHandler{nullptr};
// Set once the service has reported running: controls wait for it, as the
// Windows service manager sends none to a service that is still starting.
std::atomic<bool> g_bRunningReported{false};
int g_nStatusMark = 0;

const char* StraySignalName(int nSig) {
    switch (nSig) {
    case SIGUSR1: return "SIGUSR1";
    case SIGUSR2: return "SIGUSR2";
    case SIGALRM: return "SIGALRM";
    default: return "signal";
    }
}

void SendNotify(const std::string& strMessage) {
    const char* szSocket = getenv("NOTIFY_SOCKET");
    if (!szSocket || !*szSocket) return;
    struct sockaddr_un addr;
    memset(&addr, 0, sizeof(addr));
    addr.sun_family = AF_UNIX;
    size_t nLen = strlen(szSocket);
    if (nLen >= sizeof(addr.sun_path)) return;
    memcpy(addr.sun_path, szSocket, nLen);
    // An abstract socket is named with a leading "@".
    if (addr.sun_path[0] == '@') addr.sun_path[0] = '\0';
    int nSavedErrno = errno;
    int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd >= 0) {
        sendto(fd, strMessage.data(), strMessage.size(), MSG_NOSIGNAL,
               reinterpret_cast<struct sockaddr*>(&addr),
               static_cast<socklen_t>(offsetof(struct sockaddr_un, sun_path) + nLen));
        close(fd);
    }
    errno = nSavedErrno;
}

// --- the registry store -------------------------------------------------------------

struct SRegKey {
    std::string strPath;
};

std::string Trim(const std::string& s) { return Trimmed(s, " \t\r"); }

// The store as lines, with the lookups the registry calls need.
class CRegStore {
public:
    // False when there is no store to read; Unreadable() tells a store that
    // is there but cannot be read (errno says why) from a missing one.
    bool Load() {
        std::string strBytes;
        m_lines.clear();
        m_bExisted = ReadFile(StorePath(), strBytes);
        m_bUnreadable = !m_bExisted && errno != ENOENT;
        if (!m_bExisted) return false;
        size_t nStart = 0;
        while (nStart < strBytes.size()) {
            size_t nEnd = strBytes.find('\n', nStart);
            if (nEnd == std::string::npos) nEnd = strBytes.size();
            m_lines.push_back(strBytes.substr(nStart, nEnd - nStart));
            nStart = nEnd + 1;
        }
        return true;
    }

    bool Unreadable() const { return m_bUnreadable; }

    bool Save() const {
        if (!MakeDirs(StoreDir())) return false;
        std::string strBytes;
        if (!m_bExisted) {
            strBytes +=
                "# Registry values of the VlmRefresh service (see docs/service.md).\n"
                "# [key path] lines open a key; then one value a line:\n"
                "#   Name = 10          a 32-bit number (decimal, or 0x hexadecimal)\n"
                "#   Name = \"text\"      a text; expand:\"text\" an expandable text\n";
        }
        for (const std::string& strLine : m_lines) strBytes += strLine + "\n";
        return ReplaceFile(StorePath(), strBytes, 0644);
    }

    // Index of the key's header line, or -1.
    long FindKey(const std::string& strKey) const {
        for (size_t i = 0; i < m_lines.size(); ++i) {
            std::string strLine = Trim(m_lines[i]);
            if (strLine.size() >= 2 && strLine.front() == '[' && strLine.back() == ']' &&
                EqualNoCaseAscii(Trim(strLine.substr(1, strLine.size() - 2)), strKey)) {
                return static_cast<long>(i);
            }
        }
        return -1;
    }

    // Index of the value's line in the key that starts at nKey, or -1; nEnd
    // gets the index where the key's lines end.
    long FindValue(long nKey, const std::string& strName, size_t& nEnd) const {
        nEnd = m_lines.size();
        for (size_t i = static_cast<size_t>(nKey) + 1; i < m_lines.size(); ++i) {
            std::string strLine = Trim(m_lines[i]);
            if (!strLine.empty() && strLine.front() == '[') {
                nEnd = i;
                break;
            }
            if (strLine.empty() || strLine.front() == '#' || strLine.front() == ';') continue;
            size_t nEq = strLine.find('=');
            if (nEq != std::string::npos && EqualNoCaseAscii(Trim(strLine.substr(0, nEq)), strName)) {
                return static_cast<long>(i);
            }
        }
        return -1;
    }

    std::string ValueText(long nLine) const {
        const std::string& strLine = m_lines[static_cast<size_t>(nLine)];
        return Trim(strLine.substr(strLine.find('=') + 1));
    }

    long AddKey(const std::string& strKey) {
        if (!m_lines.empty() && !Trim(m_lines.back()).empty()) m_lines.push_back("");
        m_lines.push_back("[" + strKey + "]");
        return static_cast<long>(m_lines.size() - 1);
    }

    void SetValue(long nKey, const std::string& strName, const std::string& strData) {
        size_t nEnd = 0;
        long nLine = FindValue(nKey, strName, nEnd);
        std::string strLine = strName + " = " + strData;
        if (nLine >= 0) {
            m_lines[static_cast<size_t>(nLine)] = strLine;
            return;
        }
        // After the key's last non-blank line.
        while (nEnd > static_cast<size_t>(nKey) + 1 && Trim(m_lines[nEnd - 1]).empty()) --nEnd;
        m_lines.insert(m_lines.begin() + static_cast<long>(nEnd), strLine);
    }

private:
    std::vector<std::string> m_lines;
    bool m_bExisted = false;
    bool m_bUnreadable = false;
};

// A 32-bit number as the store writes it or an administrator may: decimal
// with an optional sign, or 0x hexadecimal ("010" is ten, not octal eight).
bool ParseNumber(const std::string& strText, int32_t& nValue) {
    size_t nAt = 0;
    bool bNegative = false;
    if (nAt < strText.size() && (strText[nAt] == '+' || strText[nAt] == '-')) {
        bNegative = strText[nAt] == '-';
        ++nAt;
    }
    int nBase = 10;
    if (strText.size() - nAt > 2 && strText[nAt] == '0' && (strText[nAt + 1] | 0x20) == 'x') {
        nBase = 16;
        nAt += 2;
    }
    // Digits only from here: strtoull would also take blanks and a sign.
    if (nAt >= strText.size()) return false;
    for (size_t i = nAt; i < strText.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(strText[i]);
        bool bDigit = (c >= '0' && c <= '9') ||
                      (nBase == 16 && ((c | 0x20) >= 'a' && (c | 0x20) <= 'f'));
        if (!bDigit) return false;
    }
    errno = 0;
    unsigned long long n = strtoull(strText.c_str() + nAt, nullptr, nBase);
    if (errno != 0) return false;
    if (bNegative ? n > static_cast<unsigned long long>(INT32_MAX) + 1 : n > UINT32_MAX) return false;
    uint32_t nBits = static_cast<uint32_t>(n);
    nValue = static_cast<int32_t>(bNegative ? 0u - nBits : nBits);
    return true;
}

RegKeyHandle CreateKeyInStore(const char* szPath) {
    CRegStore store;
    // A store that is there but cannot be read is never replaced: its
    // values (Start, Inc) would be lost.
    if (!store.Load() && store.Unreadable()) return nullptr;
    if (store.FindKey(szPath) < 0) {
        store.AddKey(szPath);
        if (!store.Save()) return nullptr;
    }
    return new SRegKey{szPath};
}

bool SetValueInStore(RegKeyHandle hKey, const char* szValue, const std::string& strData) {
    if (!hKey) {
        errno = EBADF;
        return false;
    }
    const SRegKey* pKey = static_cast<const SRegKey*>(hKey);
    CRegStore store;
    if (!store.Load() && store.Unreadable()) return false;
    long nKey = store.FindKey(pKey->strPath);
    if (nKey < 0) nKey = store.AddKey(pKey->strPath);
    store.SetValue(nKey, szValue, strData);
    return store.Save();
}

// --- events ---------------------------------------------------------------------------

struct SEventSource {
    std::string strIdent;
};

}  // namespace

uint32_t GetLastSystemError() { return static_cast<uint32_t>(errno); }

ServiceHandle OpenServiceManager() {
    std::string strDir = UnitDir();
    if (access(strDir.c_str(), W_OK) != 0) return nullptr;
    return new SScHandle{strDir, std::string()};
}

ServiceHandle OpenServiceByName(ServiceHandle hManager, const char* szName, uint32_t) {
    const SScHandle* pManager = static_cast<const SScHandle*>(hManager);
    if (!pManager || !szName || !*szName) {
        errno = EINVAL;
        return nullptr;
    }
    struct stat st;
    if (stat(UnitPath(*pManager, szName).c_str(), &st) != 0) return nullptr;
    return new SScHandle{pManager->strUnitDir, szName};
}

ServiceHandle CreateOwnProcessService(ServiceHandle hManager, const char* szName,
                                      const char* szPath, const char* szDescription) {
    const SScHandle* pManager = static_cast<const SScHandle*>(hManager);
    if (!pManager || !szName || !*szName || !szPath || !*szPath) {
        errno = EINVAL;
        return nullptr;
    }
    // Installing writes the registry store next; a store that cannot be read
    // fails it before anything is written.
    CRegStore store;
    if (!store.Load() && store.Unreadable()) return nullptr;
    std::string strUnitPath = UnitPath(*pManager, szName);
    int fd = open(strUnitPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) return nullptr;
    std::string strUnit = BuildUnit(szPath, szDescription ? szDescription : "");
    bool bWritten = write(fd, strUnit.data(), strUnit.size()) == static_cast<ssize_t>(strUnit.size());
    int nErr = errno;
    if (close(fd) != 0 || !bWritten) {
        if (bWritten) nErr = errno;
        unlink(strUnitPath.c_str());
        errno = nErr;
        return nullptr;
    }
    if (SystemdRunning()) {
        RunSystemctl({"daemon-reload"});
        RunSystemctl({"enable", "--quiet", std::string(szName) + ".service"});
    }
    return new SScHandle{pManager->strUnitDir, szName};
}

bool DeleteServiceEntry(ServiceHandle hService) {
    const SScHandle* pService = static_cast<const SScHandle*>(hService);
    if (!pService || pService->strName.empty()) {
        errno = EINVAL;
        return false;
    }
    bool bSystemd = SystemdRunning();
    if (bSystemd) RunSystemctl({"disable", "--quiet", pService->strName + ".service"});
    if (unlink(UnitPath(*pService, pService->strName).c_str()) != 0) return false;
    if (bSystemd) RunSystemctl({"daemon-reload"});
    return true;
}

void CloseServiceEntry(ServiceHandle hHandle) { delete static_cast<SScHandle*>(hHandle); }

bool RunServiceDispatcher(const char* szName, ServiceEntryFn pfnEntry, bool bConsole) {
    const char* szSocket = getenv("NOTIFY_SOCKET");
    if (!bConsole && (!szSocket || !*szSocket)) {
        // Not started by the service manager.
        errno = ENOTCONN;
        return false;
    }

    // A closed standard output (or any other pipe) gives EPIPE to the write,
    // never a SIGPIPE that ends the process.
    signal(SIGPIPE, SIG_IGN);

    // The controls arrive as signals; they are taken here, on the calling
    // thread, with sigtimedwait. Blocking them before the service thread
    // starts makes every later thread inherit the block. SIGTERM, SIGINT and
    // SIGQUIT stop; SIGRTMIN+k is control 128+k; SIGHUP is ignored; SIGUSR1,
    // SIGUSR2 and SIGALRM are ignored with a line on standard error (the
    // journal under systemd).
    sigset_t controls;
    sigemptyset(&controls);
    for (int nSig : {SIGTERM, SIGINT, SIGQUIT, SIGHUP, SIGUSR1, SIGUSR2, SIGALRM}) {
        sigaddset(&controls, nSig);
    }
    for (int nSig = SIGRTMIN; nSig <= SIGRTMAX; ++nSig) sigaddset(&controls, nSig);
    // They stay blocked when the dispatcher returns: a late stop signal must
    // not end the process with its default action while it closes down.
    pthread_sigmask(SIG_BLOCK, &controls, nullptr);

    std::atomic<bool> bEnded{false};
    g_pfnHandler = nullptr;
    g_bRunningReported = false;
    g_bDispatching = true;
    std::string strName = szName;
    std::thread service([&] {
        char* pArgs[2] = {&strName[0], nullptr};
        pfnEntry(1, pArgs);
        bEnded = true;
    });

    // Controls that arrive before the service has reported running wait for
    // it; a stop during the start is then carried out right after it.
    std::vector<uint32_t> pending;
    while (!bEnded) {
        struct timespec wait = {0, 50 * 1000 * 1000};
        int nSig = sigtimedwait(&controls, nullptr, &wait);
        if (nSig == SIGTERM || nSig == SIGINT || nSig == SIGQUIT) {
            pending.push_back(kControlStop);
        } else if (nSig >= SIGRTMIN && nSig <= SIGRTMAX) {
            pending.push_back(kControlUserFirst + static_cast<uint32_t>(nSig - SIGRTMIN));
        } else if (nSig == SIGUSR1 || nSig == SIGUSR2 || nSig == SIGALRM) {
            fprintf(stderr, "%s: %s ignored\n", szName, StraySignalName(nSig));
            fflush(stderr);
        }
        ControlHandlerFn pfnHandler = g_pfnHandler.load();
        if (pfnHandler && g_bRunningReported && !pending.empty() && !bEnded) {
            for (uint32_t nCode : pending) pfnHandler(nCode);
            pending.clear();
        }
    }
    service.join();
    g_bDispatching = false;
    g_pfnHandler = nullptr;
    return true;
}

StatusHandle RegisterControlHandler(const char*, ControlHandlerFn pfnHandler) {
    if (!g_bDispatching || !pfnHandler) {
        errno = EINVAL;
        return nullptr;
    }
    g_pfnHandler = pfnHandler;
    return &g_nStatusMark;
}

bool ReportServiceStatus(StatusHandle hStatus, const SServiceStatus& status) {
    if (hStatus != &g_nStatusMark) {
        errno = EINVAL;
        return false;
    }
    switch (status.dwCurrentState.load()) {
    case kServiceStartPending:
        SendNotify("STATUS=Starting");
        break;
    case kServiceRunning:
        SendNotify("READY=1\nSTATUS=Running");
        g_bRunningReported = true;
        break;
    case kServiceStopPending:
        SendNotify("STOPPING=1\nSTATUS=Stopping");
        break;
    case kServiceStopped:
        SendNotify("STATUS=Stopped, exit code " + std::to_string(status.dwWin32ExitCode.load()));
        break;
    default:
        break;
    }
    return true;
}

EventSourceHandle OpenEventSource(const char* szName) {
    if (!szName) return nullptr;
    return new SEventSource{szName};
}

bool ReportEventTo(EventSourceHandle hSource, uint16_t nType, uint32_t nEventId,
                   uint16_t nStrings, const char* const* pStrings) {
    const SEventSource* pSource = static_cast<const SEventSource*>(hSource);
    if (!pSource) return false;
    int nSavedErrno = errno;
    // Facility daemon (3); priority error (3) or information (6).
    int nPriority = 3 * 8 + (nType == kEventError ? 3 : 6);
    time_t tNow = time(nullptr);
    struct tm local;
    char szStamp[32] = "";
    if (localtime_r(&tNow, &local)) {
        static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
        snprintf(szStamp, sizeof(szStamp), "%s %2d %02d:%02d:%02d ", kMonths[local.tm_mon % 12],
                 local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
    }
    std::string strMessage = "<" + std::to_string(nPriority) + ">" + szStamp + pSource->strIdent +
                             "[" + std::to_string(getpid()) + "]: event " +
                             std::to_string(nEventId);
    // The event's sentence (the same as the Windows message table's), else
    // the inserted strings as they are.
    std::string strText = FormatEventMessage(nEventId, nStrings, pStrings);
    if (!strText.empty()) {
        strMessage += ": " + strText;
    } else {
        for (uint16_t i = 0; i < nStrings && i < 3; ++i) {
            if (pStrings[i]) strMessage += std::string(i == 0 ? ": " : " ") + pStrings[i];
        }
    }

    struct sockaddr_un addr;
    memset(&addr, 0, sizeof(addr));
    addr.sun_family = AF_UNIX;
    std::string strLog = SystemRoot() + "/dev/log";
    bool bSent = false;
    if (strLog.size() < sizeof(addr.sun_path)) {
        memcpy(addr.sun_path, strLog.c_str(), strLog.size());
        int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        if (fd >= 0) {
            bSent = sendto(fd, strMessage.data(), strMessage.size(), MSG_NOSIGNAL,
                           reinterpret_cast<struct sockaddr*>(&addr), sizeof(addr)) >= 0;
            close(fd);
        }
    }
    errno = nSavedErrno;
    return bSent;
}

void CloseEventSource(EventSourceHandle hSource) { delete static_cast<SEventSource*>(hSource); }

RegKeyHandle OpenRegKeyForQuery(const char* szPath) {
    CRegStore store;
    if (!store.Load()) return nullptr;
    if (store.FindKey(szPath) < 0) {
        errno = ENOENT;
        return nullptr;
    }
    return new SRegKey{szPath};
}

RegKeyHandle CreateRegKey(const char* szPath) { return CreateKeyInStore(szPath); }

RegKeyHandle CreateRegKeyForWrite(const char* szPath) { return CreateKeyInStore(szPath); }

bool QueryRegValue4(RegKeyHandle hKey, const char* szValue, int32_t& nValue) {
    const SRegKey* pKey = static_cast<const SRegKey*>(hKey);
    if (!pKey) return false;
    CRegStore store;
    if (!store.Load()) return false;
    long nKey = store.FindKey(pKey->strPath);
    if (nKey < 0) return false;
    size_t nEnd = 0;
    long nLine = store.FindValue(nKey, szValue, nEnd);
    if (nLine < 0) return false;
    // Only numbers are read: a text under the name counts as no value.
    int32_t nRead = 0;
    if (!ParseNumber(store.ValueText(nLine), nRead)) return false;
    nValue = nRead;
    return true;
}

bool SetRegDword(RegKeyHandle hKey, const char* szValue, uint32_t nData) {
    return SetValueInStore(hKey, szValue, std::to_string(static_cast<int32_t>(nData)));
}

bool SetRegText(RegKeyHandle hKey, const char* szValue, const char* szText, bool bExpand) {
    std::string strData = std::string(bExpand ? "expand:" : "") + "\"" + Cp936ToUtf8(szText) + "\"";
    return SetValueInStore(hKey, szValue, strData);
}

void CloseRegKey(RegKeyHandle hKey) { delete static_cast<SRegKey*>(hKey); }

// systemd connects standard output to the journal and names that stream in
// JOURNAL_STREAM as "device:inode"; a redirected output no longer matches.
static bool StdoutIsJournal() {
    const char* szStream = getenv("JOURNAL_STREAM");
    if (!szStream || !*szStream) return false;
    char* pEnd = nullptr;
    errno = 0;
    unsigned long long nDev = strtoull(szStream, &pEnd, 10);
    if (errno != 0 || pEnd == szStream || *pEnd != ':') return false;
    const char* szIno = pEnd + 1;
    unsigned long long nIno = strtoull(szIno, &pEnd, 10);
    if (errno != 0 || pEnd == szIno || *pEnd != '\0') return false;
    struct stat st;
    if (fstat(1, &st) != 0) return false;
    return static_cast<unsigned long long>(st.st_dev) == nDev &&
           static_cast<unsigned long long>(st.st_ino) == nIno;
}

std::string ToConsoleText(const std::string& strLine) {
    int nSavedErrno = errno;
    std::string strOut = StdoutIsJournal() ? Cp936ToUtf8(strLine) : strLine;
    errno = nSavedErrno;
    return strOut;
}

std::string LoadStringResource(uint32_t nId) {
    return nId == 1 ? std::string(kProductNameCp936) : std::string();
}

}  // namespace platform
