// Linux side of the HTTP seam: one libcurl easy handle per thread, kept from
// one request to the next with every option set anew; its connection is
// closed at the end of each transfer, so every request has a connection of
// its own. The CA files are parsed into a store that the thread keeps for a
// while and hands to each TLS connection (libcurl's own cache of it is not
// used while a CA directory is set, and Debian's libcurl sets one). Redirects
// are followed here, hop by hop, so that only the five redirect codes lead on.
#include <curl/curl.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509_vfy.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "platform/Http.h"
#include "platform/posix/TextBytes.h"

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
        if (AsciiLower(pData[i]) != kName[i]) return false;
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
    bool bHeadSeen = false;  // a line of a head came (none: an answer without a status line)
    int nBlockStatus = 0;
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
    pEx->bHeadSeen = true;
    if (nSize >= 5 && std::memcmp(pData, "HTTP/", 5) == 0) {
        pEx->nBlockStatus = ParseHttpStatusLine(pData, nSize);
        pEx->bBlockLocation = false;
    } else if (IsBlankLine(pData, nSize)) {
        // Only a block ended by its blank line counts, with header lines or
        // none; a head cut off before it is no answer.
        bool bInterim = pEx->nBlockStatus >= 100 && pEx->nBlockStatus <= 199;
        if (!bInterim) {
            ++pEx->nFinalBlocks;
            pEx->nFinalStatus = pEx->nBlockStatus;
            pEx->bFinalLocation = pEx->bBlockLocation;
        }
        pEx->nBlockStatus = 0;
        pEx->bBlockLocation = false;
    } else if (IsLocationLine(pData, nSize)) {
        pEx->bBlockLocation = true;
    }
    return nSize;
}

size_t OnWrite(char* pData, size_t nItem, size_t nCount, void* pUser) {
    SExchange* pEx = static_cast<SExchange*>(pUser);
    size_t nSize = nItem * nCount;
    pEx->tLastByte = SteadyClock::now();
    if (!pEx->bHeadSeen) {
        // Bytes without any status line before them: the answer is all body,
        // with the status the Windows layer gives such an answer.
        pEx->bHeadSeen = true;
        pEx->nFinalBlocks = 1;
        pEx->nFinalStatus = 200;
    }
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

constexpr long kReceiveBufferBytes = 256 * 1024;

// How long the CA store parsed from the CA files is reused: a changed bundle
// is read again within this time.
constexpr long kCaCacheSeconds = 600;

// The calling thread's easy handle, made at its first request and cleaned up
// when the thread ends, and the CA store its TLS connections are given.
class CThreadHandle {
public:
    ~CThreadHandle() {
        if (m_pMulti) curl_multi_cleanup(m_pMulti);
        if (m_pCurl) curl_easy_cleanup(m_pCurl);
        if (m_pStore) X509_STORE_free(m_pStore);
    }
    // The multi handle that runs the transfers; nullptr when none can be made.
    CURLM* Multi() {
        if (!m_pMulti) m_pMulti = curl_multi_init();
        return m_pMulti;
    }
    // The handle with all options at their defaults; nullptr when none can
    // be made.
    CURL* Fresh() {
        if (m_pCurl) curl_easy_reset(m_pCurl);
        else m_pCurl = curl_easy_init();
        return m_pCurl;
    }
    // The CA file and directories loaded as libcurl loads them, with its
    // verification flags; nullptr when either cannot be loaded (the request
    // then loads them itself, failing as it would).
    X509_STORE* CaStore(const std::string& strFile, const std::string& strDir) {
        const SteadyClock::time_point tNow = SteadyClock::now();
        if (m_pStore && strFile == m_strFile && strDir == m_strDir &&
            tNow - m_tMade < std::chrono::seconds(kCaCacheSeconds)) {
            return m_pStore;
        }
        if (m_pStore) X509_STORE_free(m_pStore);
        m_pStore = X509_STORE_new();
        bool bLoaded = m_pStore && (strFile.empty() || X509_STORE_load_file(m_pStore, strFile.c_str()) == 1) &&
                       (strDir.empty() || X509_STORE_load_path(m_pStore, strDir.c_str()) == 1);
        if (!bLoaded) {
            ERR_clear_error();
            if (m_pStore) X509_STORE_free(m_pStore);
            m_pStore = nullptr;
            return nullptr;
        }
        X509_STORE_set_flags(m_pStore, X509_V_FLAG_TRUSTED_FIRST | X509_V_FLAG_PARTIAL_CHAIN);
        m_strFile = strFile;
        m_strDir = strDir;
        m_tMade = tNow;
        return m_pStore;
    }

private:
    CURL* m_pCurl = nullptr;
    CURLM* m_pMulti = nullptr;
    X509_STORE* m_pStore = nullptr;
    std::string m_strFile, m_strDir;
    SteadyClock::time_point m_tMade;
};

// Gives a TLS connection the thread's CA store in place of the one libcurl
// would make.
CURLcode OnSslContext(CURL*, void* pSslCtx, void* pStore) {
    SSL_CTX_set1_cert_store(static_cast<SSL_CTX*>(pSslCtx), static_cast<X509_STORE*>(pStore));
    return CURLE_OK;
}

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
    // A head cut off, or a status line that cannot be read: "other".
    default:
        return kHttpFailOther;
    }
}

// The address of the first hop; a literal IPv6 host goes in brackets.
std::string TargetUrl(const SHttpTarget& target) {
    std::string strUrl = target.bSecure ? "https://" : "http://";
    if (target.strHost.find(':') != std::string::npos) {
        strUrl += "[" + target.strHost + "]";
    } else {
        strUrl += target.strHost;
    }
    strUrl += ":" + std::to_string(target.nPort) + target.strObject;
    return strUrl;
}

// The same header lines as the Windows build sends: no Accept, and a
// plain request asks to keep its connection.
curl_slist* RequestHeaders(bool bSecure) {
    curl_slist* pHeaders = curl_slist_append(nullptr, "Accept:");
    pHeaders = curl_slist_append(pHeaders, "Content-Type: application/x-www-form-urlencoded");
    if (!bSecure) pHeaders = curl_slist_append(pHeaders, "Connection: Keep-Alive");
    return pHeaders;
}

// The request itself and what the kept handle may carry over: nothing.
void SetRequestOptions(CURL* pCurl, curl_slist* pHeaders, const SHttpRequest& request) {
    curl_easy_setopt(pCurl, CURLOPT_PATH_AS_IS, 1L);
    curl_easy_setopt(pCurl, CURLOPT_HTTPGET, 1L);
    curl_easy_setopt(pCurl, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_0));
    curl_easy_setopt(pCurl, CURLOPT_HTTPHEADER, pHeaders);
    curl_easy_setopt(pCurl, CURLOPT_USERAGENT, request.strAgent.c_str());
    curl_easy_setopt(pCurl, CURLOPT_PROTOCOLS_STR, "http,https");
    // An answer without a status line (HTTP/0.9 style) is read as a body.
    curl_easy_setopt(pCurl, CURLOPT_HTTP09_ALLOWED, 1L);
    curl_easy_setopt(pCurl, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(pCurl, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(request.timeouts.nConnectMs));
    curl_easy_setopt(pCurl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(pCurl, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(pCurl, CURLOPT_SSL_VERIFYHOST, 2L);
    // A page comes in reads of up to this size (libcurl's own is 16 KiB, which
    // costs a read, a poll and a call of each callback per 16 KiB).
    curl_easy_setopt(pCurl, CURLOPT_BUFFERSIZE, kReceiveBufferBytes);
    // One connection per request, as with a handle of its own: the kept
    // handle must not carry a connection over to the next one.
    curl_easy_setopt(pCurl, CURLOPT_FORBID_REUSE, 1L);
    // Nor a TLS session (each request makes the full handshake and checks the
    // certificate against the CA files in force), nor a resolved address.
    curl_easy_setopt(pCurl, CURLOPT_SSL_SESSIONID_CACHE, 0L);
    curl_easy_setopt(pCurl, CURLOPT_DNS_CACHE_TIMEOUT, 0L);
}

// The CA files OpenSSL's default paths take from the environment; libcurl
// has defaults of its own that would ignore them.
void SetCaOptions(CURL* pCurl, bool bSecure) {
    const char* szFile = NonEmptyEnv("SSL_CERT_FILE");
    const char* szDir = NonEmptyEnv("SSL_CERT_DIR");
    if (szFile) {
        curl_easy_setopt(pCurl, CURLOPT_CAINFO, szFile);
        curl_easy_setopt(pCurl, CURLOPT_PROXY_CAINFO, szFile);
    }
    if (szDir) {
        curl_easy_setopt(pCurl, CURLOPT_CAPATH, szDir);
        curl_easy_setopt(pCurl, CURLOPT_PROXY_CAPATH, szDir);
    }
    if (!bSecure) return;
    // The same files, loaded once for a while: libcurl is told to load
    // none of its own for the origin.
    const curl_version_info_data* pInfo = curl_version_info(CURLVERSION_NOW);
    std::string strFile = szFile ? szFile : (pInfo->cainfo ? pInfo->cainfo : "");
    std::string strDir = szDir ? szDir : (pInfo->capath ? pInfo->capath : "");
    if (X509_STORE* pStore = t_handle.CaStore(strFile, strDir)) {
        curl_easy_setopt(pCurl, CURLOPT_CAINFO, nullptr);
        curl_easy_setopt(pCurl, CURLOPT_CAPATH, nullptr);
        curl_easy_setopt(pCurl, CURLOPT_SSL_CTX_FUNCTION, OnSslContext);
        curl_easy_setopt(pCurl, CURLOPT_SSL_CTX_DATA, pStore);
        curl_easy_setopt(pCurl, CURLOPT_CA_CACHE_TIMEOUT, 0L);
    }
}

void SetCallbacks(CURL* pCurl) {
    curl_easy_setopt(pCurl, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
    curl_easy_setopt(pCurl, CURLOPT_HEADERFUNCTION, OnHeader);
    curl_easy_setopt(pCurl, CURLOPT_WRITEFUNCTION, OnWrite);
    curl_easy_setopt(pCurl, CURLOPT_XFERINFOFUNCTION, OnProgress);
    curl_easy_setopt(pCurl, CURLOPT_NOPROGRESS, 0L);
}

// The longest wait for the network between two looks at the abort flag.
constexpr int kAbortPollMs = 100;

// Runs the transfer of pCurl to its end on the thread's multi handle, whose
// waits end at least every kAbortPollMs: a stop is seen that soon, whatever
// libcurl's own calls of the progress callback do (about once a second while
// nothing arrives).
CURLcode RunTransfer(CURL* pCurl, SExchange& ex) {
    CURLM* pMulti = t_handle.Multi();
    if (!pMulti || curl_multi_add_handle(pMulti, pCurl) != CURLM_OK) return curl_easy_perform(pCurl);
    CURLcode nCode = CURLE_FAILED_INIT;
    for (int nRunning = 1; nRunning;) {
        if (curl_multi_perform(pMulti, &nRunning) != CURLM_OK) break;
        if (nRunning && ex.pAbort && *ex.pAbort != 0) {
            ex.bAborted = true;
            nCode = CURLE_ABORTED_BY_CALLBACK;
            break;
        }
        if (nRunning) curl_multi_poll(pMulti, nullptr, 0, kAbortPollMs, nullptr);
    }
    int nLeft = 0;
    while (CURLMsg* pMsg = curl_multi_info_read(pMulti, &nLeft)) {
        if (pMsg->msg == CURLMSG_DONE && pMsg->easy_handle == pCurl) nCode = pMsg->data.result;
    }
    curl_multi_remove_handle(pMulti, pCurl);
    return nCode;
}

// One hop: the request to strUrl and its answer, read into ex, which the
// callbacks are given.
CURLcode PerformHop(CURL* pCurl, const SHttpRequest& request, const std::string& strUrl, IHttpBodySink& sink,
                    SExchange& ex) {
    ex.pCurl = pCurl;
    ex.pSink = &sink;
    ex.pAbort = request.pAbort;
    ex.nReceiveMs = request.timeouts.nReceiveMs;
    ex.tLastByte = SteadyClock::now();
    curl_easy_setopt(pCurl, CURLOPT_URL, strUrl.c_str());
    curl_easy_setopt(pCurl, CURLOPT_HEADERDATA, &ex);
    curl_easy_setopt(pCurl, CURLOPT_WRITEDATA, &ex);
    curl_easy_setopt(pCurl, CURLOPT_XFERINFODATA, &ex);
    return RunTransfer(pCurl, ex);
}

// Takes the address a followed redirect leads to into strUrl; false, with
// the failure set, when the exchange ends here.
bool NextHop(CURL* pCurl, const SExchange& ex, int nHop, std::string& strUrl, SHttpResult& result) {
    const char* szNext = nullptr;
    curl_easy_getinfo(pCurl, CURLINFO_REDIRECT_URL, &szNext);
    // Too many redirects, one that leads nowhere, or a stop: no status.
    if (ex.bAborted || !szNext || nHop >= kHttpMaxRedirects) {
        result.eFailure = ex.bAborted ? kHttpFailStopped
                          : !szNext   ? kHttpFailBadAddress
                                      : kHttpFailTooManyRedirects;
        return false;
    }
    strUrl = szNext;
    return true;
}

// The result of the hop that gave the final answer.
void TakeAnswer(CURL* pCurl, CURLcode nCode, const SExchange& ex, SHttpResult& result) {
    result.nStatus = ex.nFinalStatus;
    // A head whose status line cannot be read gives no status either.
    result.eFailure = result.nStatus != 0 ? kHttpFailNone : kHttpFailOther;
    result.bComplete = nCode == CURLE_OK;
    curl_off_t nLength = -1;
    curl_easy_getinfo(pCurl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &nLength);
    result.bHasLength = nLength >= 0;
}

// The hops of one request, redirect after redirect, up to its result.
void RunHops(CURL* pCurl, const SHttpRequest& request, IHttpBodySink& sink, SHttpResult& result) {
    std::string strUrl = TargetUrl(request.target);
    for (int nHop = 0;; ++nHop) {
        SExchange ex;
        CURLcode nCode = PerformHop(pCurl, request, strUrl, sink, ex);
        result.bStopped = ex.bAborted;
        if (ex.nFinalBlocks == 0) {  // no answer, or only interim ones
            result.eFailure = FailureOf(nCode, ex);
            return;
        }
        if (!ex.FollowsRedirect()) {
            TakeAnswer(pCurl, nCode, ex, result);
            return;
        }
        if (!NextHop(pCurl, ex, nHop, strUrl, result)) return;
    }
}

}  // namespace

void InitHttp() {
    std::call_once(g_curlInit, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

SHttpResult HttpGet(const SHttpRequest& request, IHttpBodySink& sink) {
    SHttpResult result;
    InitHttp();
    CURL* pCurl = t_handle.Fresh();
    if (!pCurl) return result;

    curl_slist* pHeaders = RequestHeaders(request.target.bSecure);
    SetRequestOptions(pCurl, pHeaders, request);
    SetCaOptions(pCurl, request.target.bSecure);
    SetCallbacks(pCurl);
    RunHops(pCurl, request, sink, result);

    // Nothing of this request may be used after it: the header list and the
    // exchange on the stack are dropped from the handle before they go.
    curl_easy_reset(pCurl);
    curl_slist_free_all(pHeaders);
    return result;
}

}  // namespace platform
