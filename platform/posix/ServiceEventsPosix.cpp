// Linux side of the event log: each event is one syslog record (facility
// daemon) sent to /dev/log under the system root.
#include <errno.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "EventMessages.h"
#include "platform/posix/ErrnoGuard.h"
#include "platform/Service.h"
#include "platform/posix/PosixInternal.h"

namespace platform {

namespace {

struct SEventSource {
    std::string strIdent;
    // The sentences in Chinese, else English: fixed when the source opens.
    bool bChinese;
};

}  // namespace

bool IsSimplifiedChineseLocale(const char* szLocale) {
    if (!szLocale) {
        for (const char* szName : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
            szLocale = getenv(szName);
            if (szLocale && *szLocale) break;
        }
        if (!szLocale) return false;
    }
    // language[_territory][.codeset][@modifier]
    std::string strLocale(szLocale);
    std::string strName = strLocale.substr(0, strLocale.find_first_of(".@"));
    size_t nSep = strName.find('_');
    std::string strTerritory = nSep == std::string::npos ? "" : strName.substr(nSep + 1);
    return strName.substr(0, nSep) == "zh" && strTerritory != "TW" && strTerritory != "HK" &&
           strTerritory != "MO";
}

EventSourceHandle OpenEventSource(const char* szName) {
    if (!szName) return nullptr;
    return new SEventSource{szName, IsSimplifiedChineseLocale()};
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
    // The inserted strings are code page 936; the journal and syslog daemons
    // read UTF-8, and the sentences are UTF-8 already.
    std::string strInserts[3];
    const char* pInserts[3] = {nullptr, nullptr, nullptr};
    const uint16_t nInserts = nStrings < 3 ? nStrings : 3;
    for (uint16_t i = 0; i < nInserts; ++i) {
        if (!pStrings[i]) continue;
        strInserts[i] = Cp936ToUtf8(pStrings[i]);
        pInserts[i] = strInserts[i].c_str();
    }
    // The event's sentence in the language of the locale (the same as the
    // Windows message table's in that language), else the inserted strings
    // as they are.
    std::string strText = FormatEventMessage(nEventId, pSource->bChinese, nInserts, pInserts);
    if (strText.empty()) {
        for (uint16_t i = 0; i < nInserts; ++i) {
            if (pInserts[i]) strText += std::string(i == 0 ? "" : " ") + pInserts[i];
        }
    }
    if (!strText.empty()) strMessage += ": " + strText;

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
