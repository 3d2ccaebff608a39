// Linux side of the event log: each event is one syslog record (facility
// daemon) sent to /dev/log under the system root.
#include <errno.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "EventMessages.h"
#include "platform/ErrnoGuard.h"
#include "platform/Service.h"
#include "platform/posix/PosixInternal.h"

namespace platform {

namespace {

struct SEventSource {
    std::string strIdent;
};

}  // namespace

EventSourceHandle OpenEventSource(const char* szName) {
    if (!szName) return nullptr;
    return new SEventSource{szName};
}

bool ReportEventTo(EventSourceHandle hSource, uint16_t nType, uint32_t nEventId,
                   uint16_t nStrings, const char* const* pStrings) {
    const SEventSource* pSource = static_cast<const SEventSource*>(hSource);
    if (!pSource) return false;
    CErrnoGuard errnoGuard;
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
    // the inserted strings as they are; in UTF-8, as the journal and syslog
    // daemons read it (the strings are code page 936).
    std::string strText = FormatEventMessage(nEventId, nStrings, pStrings);
    if (strText.empty()) {
        for (uint16_t i = 0; i < nStrings && i < 3; ++i) {
            if (pStrings[i]) strText += std::string(i == 0 ? "" : " ") + pStrings[i];
        }
    }
    if (!strText.empty()) strMessage += ": " + Cp936ToUtf8(strText);

    struct sockaddr_un addr;
    memset(&addr, 0, sizeof(addr));
    addr.sun_family = AF_UNIX;
    std::string strLog = SystemRoot() + "/dev/log";
    bool bSent = false;
    if (strLog.size() < sizeof(addr.sun_path)) {
        memcpy(addr.sun_path, strLog.c_str(), strLog.size());
        CFd sock(socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0));
        if (sock) {
            bSent = sendto(sock.Get(), strMessage.data(), strMessage.size(), MSG_NOSIGNAL,
                           reinterpret_cast<struct sockaddr*>(&addr), sizeof(addr)) >= 0;
            sock.Reset();
        }
    }
    return bSent;
}

void CloseEventSource(EventSourceHandle hSource) { delete static_cast<SEventSource*>(hSource); }

}  // namespace platform
