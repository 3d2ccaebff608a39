// Linux side of the service-manager seam, on systemd. The parts live in
// files of their own, each beside its Windows twin (Service*Win32.cpp):
// - ServiceInstallPosix.cpp: the unit file in the system unit directory and
//   the systemctl calls that enable and disable it;
// - ServiceControlPosix.cpp: the dispatcher, the notify protocol
//   (NOTIFY_SOCKET) and signals as controls (SIGTERM and SIGINT stop,
//   SIGRTMIN+k is 128+k);
// - ServiceEventsPosix.cpp: events as syslog records sent to /dev/log;
// - ServiceRegistryPosix.cpp: the registry as one text file,
//   var/lib/VlmRefresh/registry.conf (engine: platform/posix/RegStoreText).
// Every path outside the executable's directory lies under the system root
// of the environment: "/" unless VLM_SYSTEM_ROOT names another directory.
// This file: the system root, UTF-8 conversion, errors, console, resources.
#include <errno.h>
#include <iconv.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/posix/ErrnoGuard.h"
#include "platform/Env.h"
#include "platform/Service.h"
#include "platform/posix/PosixInternal.h"

namespace platform {

const char kStoreDirName[] = "VlmRefresh";

std::string SystemRoot() {
    std::string strRoot = GetEnv().SystemRoot();
    while (!strRoot.empty() && strRoot.back() == '/') strRoot.pop_back();
    return strRoot;
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

uint32_t GetLastSystemError() { return static_cast<uint32_t>(errno); }

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
    CErrnoGuard errnoGuard;
    std::string strOut = StdoutIsJournal() ? Cp936ToUtf8(strLine) : strLine;
    return strOut;
}

std::string LoadStringResource(uint32_t, const char* szBuiltIn) { return szBuiltIn; }

}  // namespace platform
