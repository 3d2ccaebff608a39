// Linux side of the HTTP seam: one libcurl easy handle per request.
#include <curl/curl.h>

#include <chrono>
#include <cstring>
#include <mutex>

#include "platform/Http.h"

namespace platform {

namespace {

using SteadyClock = std::chrono::steady_clock;

struct SExchange {
    IHttpBodySink* pSink = nullptr;
    int nLastStatus = 0;        // code of the newest status line
    int nHeaderBlocks = 0;      // header blocks received to their blank line
    bool bSinkStopped = false;  // the sink refused more bytes
    SteadyClock::time_point tLastByte;
    uint32_t nReceiveMs = 0;
    bool bTimedOut = false;
};

int ParseStatusLine(const char* pLine, size_t nSize) {
    // "HTTP/x.y NNN reason"
    size_t i = 5;
    while (i < nSize && pLine[i] != ' ') ++i;
    while (i < nSize && pLine[i] == ' ') ++i;
    int nCode = 0;
    for (int nDigits = 0; nDigits < 3 && i < nSize && pLine[i] >= '0' && pLine[i] <= '9'; ++nDigits, ++i)
        nCode = nCode * 10 + (pLine[i] - '0');
    return nCode;
}

size_t OnHeader(char* pData, size_t nItem, size_t nCount, void* pUser) {
    SExchange* pEx = static_cast<SExchange*>(pUser);
    size_t nSize = nItem * nCount;
    pEx->tLastByte = SteadyClock::now();
    if (nSize >= 5 && std::memcmp(pData, "HTTP/", 5) == 0) {
        pEx->nLastStatus = ParseStatusLine(pData, nSize);
    } else if ((nSize == 2 && pData[0] == '\r' && pData[1] == '\n') || (nSize == 1 && pData[0] == '\n')) {
        ++pEx->nHeaderBlocks;
    }
    return nSize;
}

size_t OnWrite(char* pData, size_t nItem, size_t nCount, void* pUser) {
    SExchange* pEx = static_cast<SExchange*>(pUser);
    size_t nSize = nItem * nCount;
    pEx->tLastByte = SteadyClock::now();
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

// Ends a transfer that has waited longer than the receive time-out for its
// next byte (the connect phase is bounded by the connect time-out).
int OnProgress(void* pUser, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    SExchange* pEx = static_cast<SExchange*>(pUser);
    auto nIdle = std::chrono::duration_cast<std::chrono::milliseconds>(SteadyClock::now() - pEx->tLastByte);
    if (nIdle.count() > static_cast<long long>(pEx->nReceiveMs)) {
        pEx->bTimedOut = true;
        return 1;
    }
    return 0;
}

int OnSocketConnected(void* pUser, curl_socket_t, curlsocktype) {
    // Waiting for the answer starts when the socket exists.
    static_cast<SExchange*>(pUser)->tLastByte = SteadyClock::now();
    return CURL_SOCKOPT_OK;
}

std::once_flag g_curlInit;

}  // namespace

SHttpResult HttpGet(const SHttpTarget& target, IHttpBodySink& sink) {
    SHttpResult result;
    std::call_once(g_curlInit, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
    CURL* pCurl = curl_easy_init();
    if (!pCurl) return result;

    std::string strUrl = target.bSecure ? "https://" : "http://";
    if (target.strHost.find(':') != std::string::npos) {
        strUrl += "[" + target.strHost + "]";
    } else {
        strUrl += target.strHost;
    }
    strUrl += ":" + std::to_string(target.nPort) + target.strObject;
    std::string strAgent = GetHttpAgentName();

    SExchange ex;
    ex.pSink = &sink;
    ex.nReceiveMs = GetHttpReceiveTimeoutMs();
    ex.tLastByte = SteadyClock::now();

    // The same header lines as the Windows build sends: no Accept, and a
    // plain request asks to keep its connection.
    curl_slist* pHeaders = curl_slist_append(nullptr, "Accept:");
    pHeaders = curl_slist_append(pHeaders, "Content-Type: application/x-www-form-urlencoded");
    if (!target.bSecure) pHeaders = curl_slist_append(pHeaders, "Connection: Keep-Alive");
    curl_easy_setopt(pCurl, CURLOPT_URL, strUrl.c_str());
    curl_easy_setopt(pCurl, CURLOPT_PATH_AS_IS, 1L);
    curl_easy_setopt(pCurl, CURLOPT_HTTPGET, 1L);
    curl_easy_setopt(pCurl, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_0));
    curl_easy_setopt(pCurl, CURLOPT_HTTPHEADER, pHeaders);
    curl_easy_setopt(pCurl, CURLOPT_USERAGENT, strAgent.c_str());
    curl_easy_setopt(pCurl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(pCurl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(pCurl, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(pCurl, CURLOPT_MAXREDIRS, static_cast<long>(kHttpMaxRedirects));
    curl_easy_setopt(pCurl, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(GetHttpConnectTimeoutMs()));
    curl_easy_setopt(pCurl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(pCurl, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(pCurl, CURLOPT_SSL_VERIFYHOST, 2L);
    curl_easy_setopt(pCurl, CURLOPT_HEADERFUNCTION, OnHeader);
    curl_easy_setopt(pCurl, CURLOPT_HEADERDATA, &ex);
    curl_easy_setopt(pCurl, CURLOPT_WRITEFUNCTION, OnWrite);
    curl_easy_setopt(pCurl, CURLOPT_WRITEDATA, &ex);
    curl_easy_setopt(pCurl, CURLOPT_XFERINFOFUNCTION, OnProgress);
    curl_easy_setopt(pCurl, CURLOPT_XFERINFODATA, &ex);
    curl_easy_setopt(pCurl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(pCurl, CURLOPT_SOCKOPTFUNCTION, OnSocketConnected);
    curl_easy_setopt(pCurl, CURLOPT_SOCKOPTDATA, &ex);

    CURLcode nCode = curl_easy_perform(pCurl);
    if (nCode == CURLE_OK) {
        long nStatus = 0;
        curl_easy_getinfo(pCurl, CURLINFO_RESPONSE_CODE, &nStatus);
        result.nStatus = static_cast<int>(nStatus);
        result.bComplete = true;
    } else if (nCode != CURLE_TOO_MANY_REDIRECTS) {
        // A status counts when the header block of the final answer arrived:
        // one more block than redirects followed.
        long nRedirects = 0;
        curl_easy_getinfo(pCurl, CURLINFO_REDIRECT_COUNT, &nRedirects);
        if (ex.nHeaderBlocks > nRedirects) result.nStatus = ex.nLastStatus;
    }
    curl_off_t nLength = -1;
    curl_easy_getinfo(pCurl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &nLength);
    result.bHasLength = nLength >= 0;

    curl_easy_cleanup(pCurl);
    curl_slist_free_all(pHeaders);
    return result;
}

}  // namespace platform
