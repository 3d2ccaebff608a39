// Linux side of the HTTP seam: one libcurl easy handle per thread, kept from
// one request to the next with every option set anew, so that the parsed CA
// store stays with it; its connection is closed at the end of each transfer,
// so every request has a connection of its own. Redirects are followed here,
// hop by hop, so that only the five redirect codes lead on.
#include <curl/curl.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "platform/Http.h"

namespace platform {

namespace {

using SteadyClock = std::chrono::steady_clock;

bool IsRedirect(int nStatus) {
    return nStatus == 301 || nStatus == 302 || nStatus == 303 || nStatus == 307 || nStatus == 308;
}

bool IsBlankLine(const char* pData, size_t nSize) {
    return (nSize == 2 && pData[0] == '\r' && pData[1] == '\n') || (nSize == 1 && pData[0] == '\n');
}

// True for a "Location:" header line with a value.
bool IsLocationLine(const char* pData, size_t nSize) {
    static const char kName[] = "location:";
    if (nSize < sizeof kName - 1) return false;
    for (size_t i = 0; i < sizeof kName - 1; ++i) {
        char c = pData[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != kName[i]) return false;
    }
    for (size_t i = sizeof kName - 1; i < nSize; ++i) {
        if (pData[i] != ' ' && pData[i] != '\t' && pData[i] != '\r' && pData[i] != '\n') return true;
    }
    return false;
}

// One hop of the exchange: one answer of the origin (or of a plain proxy).
struct SExchange {
    CURL* pCurl = nullptr;
    IHttpBodySink* pSink = nullptr;
    const std::atomic<int32_t>* pAbort = nullptr;
    bool bConnected = false;
    bool bAborted = false;      // the abort flag ended the transfer
    bool bIdleTimeout = false;  // the receive time-out ended the transfer
    bool bSinkStopped = false;  // the sink refused more bytes
    // The header block being read: its status (0 when the line is not a
    // readable status line) and whether it names a Location.
    int nBlockStatus = 0;
    int nBlockLines = 0;  // header lines after the status line
    bool bBlockLocation = false;
    // The last block that was not an interim 1xx one, read to its blank line.
    int nFinalBlocks = 0;
    int nFinalStatus = 0;
    bool bFinalLocation = false;
    SteadyClock::time_point tLastByte;
    uint32_t nReceiveMs = 0;

    // The body of a redirect that is followed goes nowhere.
    bool FollowsRedirect() const { return nFinalBlocks > 0 && IsRedirect(nFinalStatus) && bFinalLocation; }
};

// The header callback sees the origin's blocks only: the proxy's reply to
// CONNECT is suppressed (CURLOPT_SUPPRESS_CONNECT_HEADERS).
size_t OnHeader(char* pData, size_t nItem, size_t nCount, void* pUser) {
    SExchange* pEx = static_cast<SExchange*>(pUser);
    size_t nSize = nItem * nCount;
    pEx->tLastByte = SteadyClock::now();
    if (nSize >= 5 && std::memcmp(pData, "HTTP/", 5) == 0) {
        pEx->nBlockStatus = ParseHttpStatusLine(pData, nSize);
        pEx->nBlockLines = 0;
        pEx->bBlockLocation = false;
    } else if (IsBlankLine(pData, nSize)) {
        bool bInterim = pEx->nBlockStatus >= 100 && pEx->nBlockStatus <= 199;
        if (!bInterim) {
            // A head without any header line counts as none, as on the Windows
            // build, whose layer cannot tell it from an answer without a head.
            ++pEx->nFinalBlocks;
            pEx->nFinalStatus = pEx->nBlockLines > 0 ? pEx->nBlockStatus : 0;
            pEx->bFinalLocation = pEx->bBlockLocation;
        }
        pEx->nBlockStatus = 0;
        pEx->nBlockLines = 0;
        pEx->bBlockLocation = false;
    } else {
        ++pEx->nBlockLines;
        if (IsLocationLine(pData, nSize)) pEx->bBlockLocation = true;
    }
    return nSize;
}

size_t OnWrite(char* pData, size_t nItem, size_t nCount, void* pUser) {
    SExchange* pEx = static_cast<SExchange*>(pUser);
    size_t nSize = nItem * nCount;
    pEx->tLastByte = SteadyClock::now();
    if (pEx->FollowsRedirect()) return nSize;
    if (pEx->nFinalBlocks == 0 || pEx->nFinalStatus == 0) return 0;  // no readable status: no body either
    bool bGoOn = false;
    try {
        bGoOn = pEx->pSink->OnBody(pData, nSize);
    } catch (...) {
        bGoOn = false;
    }
    if (!bGoOn) {
        pEx->bSinkStopped = true;
        return 0;  // aborts the transfer
    }
    return nSize;
}

// Ends a transfer once the abort flag is set, or when it has waited longer
// than the receive time-out for its next byte. Until the connection stands,
// the connect time-out governs.
int OnProgress(void* pUser, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    SExchange* pEx = static_cast<SExchange*>(pUser);
    if (pEx->pAbort && *pEx->pAbort != 0) {
        pEx->bAborted = true;
        return 1;
    }
    if (!pEx->bConnected) {
        curl_off_t nConnectUs = 0;
        curl_easy_getinfo(pEx->pCurl, CURLINFO_CONNECT_TIME_T, &nConnectUs);
        if (nConnectUs <= 0) return 0;
        pEx->bConnected = true;
        pEx->tLastByte = SteadyClock::now();
    }
    auto nIdle = std::chrono::duration_cast<std::chrono::milliseconds>(SteadyClock::now() - pEx->tLastByte);
    if (nIdle.count() > static_cast<long long>(pEx->nReceiveMs)) {
        pEx->bIdleTimeout = true;
        return 1;
    }
    return 0;
}

// The value of an environment variable; nullptr when unset or empty.
const char* NonEmptyEnv(const char* szName) {
    const char* szValue = std::getenv(szName);
    return szValue && *szValue ? szValue : nullptr;
}

std::once_flag g_curlInit;

// How long the CA store parsed from the CA files is reused: a changed bundle
// is read again within this time.
constexpr long kCaCacheSeconds = 600;

// The calling thread's easy handle, made at its first request and cleaned up
// when the thread ends.
class CThreadHandle {
public:
    ~CThreadHandle() {
        if (m_pCurl) curl_easy_cleanup(m_pCurl);
    }
    // The handle with all options at their defaults; nullptr when none can
    // be made.
    CURL* Fresh() {
        if (m_pCurl) curl_easy_reset(m_pCurl);
        else m_pCurl = curl_easy_init();
        return m_pCurl;
    }

private:
    CURL* m_pCurl = nullptr;
};

thread_local CThreadHandle t_handle;

// Why a transfer that gave no status failed.
EHttpFailure FailureOf(CURLcode nCode, const SExchange& ex) {
    if (ex.bAborted) return kHttpFailStopped;
    if (ex.bIdleTimeout) return kHttpFailTimedOut;
    switch (nCode) {
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
        return kHttpFailNameNotResolved;
    case CURLE_COULDNT_CONNECT:
        return kHttpFailRefused;
    case CURLE_OPERATION_TIMEDOUT:
        return kHttpFailTimedOut;
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_INVALIDCERTSTATUS:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
        return kHttpFailCertificate;
    case CURLE_URL_MALFORMAT:
        return kHttpFailBadAddress;
    // An answer without a readable status line also ends as an unsupported
    // protocol (HTTP/0.9): it counts as "other".
    default:
        return kHttpFailOther;
    }
}

}  // namespace

void PrepareHttpLayer() {
    std::call_once(g_curlInit, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

SHttpResult HttpGet(const SHttpTarget& target, IHttpBodySink& sink) {
    SHttpResult result;
    PrepareHttpLayer();
    CURL* pCurl = t_handle.Fresh();
    if (!pCurl) return result;

    std::string strUrl = target.bSecure ? "https://" : "http://";
    if (target.strHost.find(':') != std::string::npos) {
        strUrl += "[" + target.strHost + "]";
    } else {
        strUrl += target.strHost;
    }
    strUrl += ":" + std::to_string(target.nPort) + target.strObject;
    std::string strAgent = GetHttpAgentName();

    // The same header lines as the Windows build sends: no Accept, and a
    // plain request asks to keep its connection.
    curl_slist* pHeaders = curl_slist_append(nullptr, "Accept:");
    pHeaders = curl_slist_append(pHeaders, "Content-Type: application/x-www-form-urlencoded");
    if (!target.bSecure) pHeaders = curl_slist_append(pHeaders, "Connection: Keep-Alive");
    curl_easy_setopt(pCurl, CURLOPT_PATH_AS_IS, 1L);
    curl_easy_setopt(pCurl, CURLOPT_HTTPGET, 1L);
    curl_easy_setopt(pCurl, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_0));
    curl_easy_setopt(pCurl, CURLOPT_HTTPHEADER, pHeaders);
    curl_easy_setopt(pCurl, CURLOPT_USERAGENT, strAgent.c_str());
    curl_easy_setopt(pCurl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(pCurl, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(pCurl, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(GetHttpConnectTimeoutMs()));
    curl_easy_setopt(pCurl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(pCurl, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(pCurl, CURLOPT_SSL_VERIFYHOST, 2L);
    curl_easy_setopt(pCurl, CURLOPT_CA_CACHE_TIMEOUT, kCaCacheSeconds);
    // One connection per request, as with a handle of its own: the kept
    // handle must not carry a connection over to the next one.
    curl_easy_setopt(pCurl, CURLOPT_FORBID_REUSE, 1L);
    // The CA files OpenSSL's default paths take from the environment; libcurl
    // has defaults of its own that would ignore them.
    if (const char* szFile = NonEmptyEnv("SSL_CERT_FILE")) {
        curl_easy_setopt(pCurl, CURLOPT_CAINFO, szFile);
        curl_easy_setopt(pCurl, CURLOPT_PROXY_CAINFO, szFile);
    }
    if (const char* szDir = NonEmptyEnv("SSL_CERT_DIR")) {
        curl_easy_setopt(pCurl, CURLOPT_CAPATH, szDir);
        curl_easy_setopt(pCurl, CURLOPT_PROXY_CAPATH, szDir);
    }
    curl_easy_setopt(pCurl, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
    curl_easy_setopt(pCurl, CURLOPT_HEADERFUNCTION, OnHeader);
    curl_easy_setopt(pCurl, CURLOPT_WRITEFUNCTION, OnWrite);
    curl_easy_setopt(pCurl, CURLOPT_XFERINFOFUNCTION, OnProgress);
    curl_easy_setopt(pCurl, CURLOPT_NOPROGRESS, 0L);

    for (int nHop = 0;; ++nHop) {
        SExchange ex;
        ex.pCurl = pCurl;
        ex.pSink = &sink;
        ex.pAbort = GetHttpAbortFlag();
        ex.nReceiveMs = GetHttpReceiveTimeoutMs();
        ex.tLastByte = SteadyClock::now();
        curl_easy_setopt(pCurl, CURLOPT_URL, strUrl.c_str());
        curl_easy_setopt(pCurl, CURLOPT_HEADERDATA, &ex);
        curl_easy_setopt(pCurl, CURLOPT_WRITEDATA, &ex);
        curl_easy_setopt(pCurl, CURLOPT_XFERINFODATA, &ex);
        CURLcode nCode = curl_easy_perform(pCurl);

        if (ex.nFinalBlocks == 0) {  // no answer, or only interim ones
            result.eFailure = FailureOf(nCode, ex);
            break;
        }
        if (ex.FollowsRedirect()) {
            const char* szNext = nullptr;
            curl_easy_getinfo(pCurl, CURLINFO_REDIRECT_URL, &szNext);
            // Too many redirects, one that leads nowhere, or a stop: no status.
            if (ex.bAborted || !szNext || nHop >= kHttpMaxRedirects) {
                result.eFailure = ex.bAborted ? kHttpFailStopped
                                  : !szNext   ? kHttpFailBadAddress
                                              : kHttpFailTooManyRedirects;
                break;
            }
            strUrl = szNext;
            continue;
        }
        result.nStatus = ex.nFinalStatus;
        // A head whose status line cannot be read gives no status either.
        result.eFailure = result.nStatus != 0 ? kHttpFailNone : kHttpFailOther;
        result.bComplete = nCode == CURLE_OK;
        curl_off_t nLength = -1;
        curl_easy_getinfo(pCurl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &nLength);
        result.bHasLength = nLength >= 0;
        break;
    }

    // Nothing of this request may be used after it: the header list and the
    // exchange on this stack are dropped from the handle before they go.
    curl_easy_reset(pCurl);
    curl_slist_free_all(pHeaders);
    return result;
}

}  // namespace platform
