// Linux side of service registration: the service is a unit file. -i writes
// it into the administrator's unit directory (/etc/systemd/system) and -u
// deletes it from there; installing and removing also enable / disable it
// (systemctl) where systemd is running. The package's unit lies in the
// package unit directory (/usr/lib/systemd/system), is found there as well,
// and is never deleted by -u: a unit of the same name in /etc takes its
// place, as systemd reads them.
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/posix/ErrnoGuard.h"
#include "platform/Service.h"
#include "platform/posix/PosixInternal.h"

namespace platform {

namespace {

std::string UnitDir() { return SystemRoot() + "/etc/systemd/system"; }
std::string PackageUnitDir() { return SystemRoot() + "/usr/lib/systemd/system"; }

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
    std::string strName;      // empty for the manager itself
    std::string strUnitFile;  // the service's unit file as found
    bool bPackaged;           // in the package unit directory
};

std::string UnitPath(const std::string& strDir, const std::string& strName) {
    return strDir + "/" + strName + ".service";
}

// A unit file that counts: a file with something in it. A link to /dev/null
// or an empty file masks the name instead (systemctl mask).
bool IsUnitFile(const std::string& strPath) {
    struct stat st;
    if (stat(strPath.c_str(), &st) != 0) return false;
    if (S_ISREG(st.st_mode) && st.st_size > 0) return true;
    errno = ENOENT;
    return false;
}

// The program of the unit's (last) ExecStart= line as systemd takes its first
// word: the prefixes "@-:+!" dropped, quotes and backslash escapes undone,
// "%%" made "%". Empty when there is none.
std::string ExecStartProgram(const std::string& strUnit) {
    std::string strValue;
    for (size_t nPos = 0; nPos < strUnit.size();) {
        size_t nEnd = std::min(strUnit.find('\n', nPos), strUnit.size());
        size_t i = strUnit.find_first_not_of(" \t", nPos);
        if (i < nEnd && strUnit.compare(i, 9, "ExecStart") == 0) {
            i = strUnit.find_first_not_of(" \t", i + 9);
            if (i < nEnd && strUnit[i] == '=') strValue = strUnit.substr(i + 1, nEnd - i - 1);
        }
        nPos = nEnd + 1;
    }
    std::string strOut;
    size_t i = strValue.find_first_not_of(" \t@-:+!");
    if (i == std::string::npos) return strOut;
    const char cQuote = strValue[i] == '"' || strValue[i] == '\'' ? strValue[i++] : '\0';
    for (; i < strValue.size(); ++i) {
        char c = strValue[i];
        if (cQuote ? c == cQuote : (c == ' ' || c == '\t' || c == '\r')) break;
        if (c == '\\' && i + 1 < strValue.size()) {
            c = strValue[++i];
        } else if (c == '%' && i + 1 < strValue.size() && strValue[i + 1] == '%') {
            ++i;
        }
        strOut += c;
    }
    return strOut;
}

// The same file: the same name, or the same inode on the same device.
bool IsSameFile(const std::string& strA, const std::string& strB) {
    struct stat a, b;
    if (strA == strB) return true;
    return stat(strA.c_str(), &a) == 0 && stat(strB.c_str(), &b) == 0 && a.st_dev == b.st_dev &&
           a.st_ino == b.st_ino;
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

}  // namespace

std::string BuildUnitText(const std::string& strPath, const std::string& strDescription,
                          const std::string& strUser) {
    std::string strDir = DirectoryOf(strPath);
    std::string strUnit;
    strUnit += strUser.empty() ? "# Written by VlmRefreshSvc -i; removed by VlmRefreshSvc -u.\n"
                               : "# Installed by the package vlmrefresh. A unit of this name in\n"
                                 "# /etc/systemd/system (VlmRefreshSvc -i writes one) takes its place.\n";
    strUnit += "[Unit]\n";
    strUnit += "Description=" + Cp936ToUtf8(strDescription) + "\n";
    if (!strUser.empty()) strUnit += "Documentation=file:/usr/share/doc/vlmrefresh/service.md\n";
    strUnit += "Wants=network-online.target\n";
    strUnit += "After=network-online.target\n";
    strUnit += "\n[Service]\n";
    strUnit += "Type=notify\n";
    strUnit += "NotifyAccess=main\n";
    strUnit += "ExecStart=" + ExecStartWord(strPath) + "\n";
    // The package's service runs as its own system user; the executable and
    // its directory stay root's, so the service cannot replace itself.
    if (!strUser.empty()) strUnit += "User=" + strUser + "\n";
    strUnit += "TimeoutStopSec=10\n";
    // Ended by a crash or an unexpected signal (not by a stop): started again.
    strUnit += "Restart=on-failure\nRestartSec=2\n";
    // The service writes only beside its executable and into its registry
    // store (StateDirectory, given to the service's user when it has one);
    // everything else is read-only or hidden.
    strUnit += "ReadWritePaths=" + ExecStartWord(strDir) + "\n";
    strUnit += std::string("StateDirectory=") + kStoreDirName + "\n";
    strUnit +=
        "UMask=0022\n"
        "NoNewPrivileges=yes\n"
        "ProtectSystem=strict\n"
        "ProtectHome=read-only\n"
        "PrivateTmp=yes\n"
        "PrivateMounts=yes\n"
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

ServiceHandle OpenServiceManager() {
    std::string strDir = UnitDir();
    if (access(strDir.c_str(), W_OK) != 0) return nullptr;
    return new SScHandle{strDir, std::string(), std::string(), false};
}

ServiceHandle OpenServiceByName(ServiceHandle hManager, const char* szName, uint32_t) {
    const SScHandle* pManager = static_cast<const SScHandle*>(hManager);
    if (!pManager || !szName || !*szName) {
        errno = EINVAL;
        return nullptr;
    }
    // The administrator's unit first: it takes the place of the package's.
    std::string strFile = UnitPath(pManager->strUnitDir, szName);
    if (IsUnitFile(strFile)) return new SScHandle{pManager->strUnitDir, szName, strFile, false};
    strFile = UnitPath(PackageUnitDir(), szName);
    if (IsUnitFile(strFile)) return new SScHandle{pManager->strUnitDir, szName, strFile, true};
    return nullptr;
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
    std::string strUnitPath = UnitPath(pManager->strUnitDir, szName);
    int fd = open(strUnitPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) return nullptr;
    std::string strUnit = BuildUnitText(szPath, szDescription ? szDescription : "", std::string());
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
    return new SScHandle{pManager->strUnitDir, szName, strUnitPath, false};
}

EServiceOwner GetServiceOwner(ServiceHandle hService, const std::string& strProgram,
                              std::string& strRuns) {
    const SScHandle* pService = static_cast<const SScHandle*>(hService);
    strRuns.clear();
    if (!pService || pService->strUnitFile.empty()) return kServiceOfThisProgram;
    std::string strUnit;
    ReadWholeFile(pService->strUnitFile, strUnit);
    strRuns = ExecStartProgram(strUnit);
    if (pService->bPackaged) return kServiceOfPackage;
    return IsSameFile(strRuns, strProgram) ? kServiceOfThisProgram : kServiceOfOtherProgram;
}

// The unit restarts a crashed service itself (Restart=on-failure, above).
bool SetFailureActions(ServiceHandle, const SFailureActions&) { return true; }

bool DeleteServiceEntry(ServiceHandle hService) {
    const SScHandle* pService = static_cast<const SScHandle*>(hService);
    // The package's unit is the package's to remove.
    if (!pService || pService->strName.empty() || pService->bPackaged) {
        errno = pService && pService->bPackaged ? EPERM : EINVAL;
        return false;
    }
    bool bSystemd = SystemdRunning();
    if (bSystemd) RunSystemctl({"disable", "--quiet", pService->strName + ".service"});
    if (unlink(pService->strUnitFile.c_str()) != 0) return false;
    if (bSystemd) RunSystemctl({"daemon-reload"});
    return true;
}

void CloseServiceEntry(ServiceHandle hHandle) { delete static_cast<SScHandle*>(hHandle); }

}  // namespace platform
