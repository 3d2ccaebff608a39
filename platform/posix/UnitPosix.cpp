// Linux side of service registration: the service is a unit file in the
// system unit directory; installing and removing also enable / disable it
// (systemctl) where systemd is running.
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "platform/ErrnoGuard.h"
#include "platform/Service.h"
#include "platform/posix/PosixInternal.h"

namespace platform {

namespace {

std::string UnitDir() { return SystemRoot() + "/etc/systemd/system"; }

// systemd is running when its runtime directory exists (as sd_booted says).
bool SystemdRunning() {
    struct stat st;
    return stat((SystemRoot() + "/run/systemd/system").c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Runs systemctl with the arguments, quietly, and waits for it.
void RunSystemctl(const std::vector<std::string>& args) {
    CErrnoGuard errnoGuard;
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
}

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

}  // namespace

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
    std::string strStore;
    bool bStoreExists = false;
    if (!LoadRegistryStore(strStore, bStoreExists)) return nullptr;
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

// The unit restarts a crashed service itself (Restart=on-failure, above).
bool SetFailureActions(ServiceHandle, const SFailureActions&) { return true; }

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

}  // namespace platform
