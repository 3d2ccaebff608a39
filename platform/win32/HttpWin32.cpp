// Windows side of the HTTP seam: WinINet, one session, connection and request
// per call, closed again in that order on every path.
#include <windows.h>
#include <wininet.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/Http.h"

namespace platform {

namespace {

const char kHeaderLine[] = "Content-Type: application/x-www-form-urlencoded";

// The three handles of one call. A watcher thread closes them when the abort
// flag is set, which makes a blocking WinINet call on the worker fail at once;
// every close goes through here, so none is closed twice.
class CInetHandles {
public:
    enum ESlot { kSession, kConnection, kRequest, kSlots };

    explicit CInetHandles(const std::atomic<int32_t>* pAbort) : m_pAbort(pAbort) {
        if (m_pAbort) m_watcher = std::thread([this] { Watch(); });
    }
    ~CInetHandles() {
        {
            std::lock_guard<std::mutex> lock(m_lock);
            m_bDone = true;
        }
        m_wake.notify_all();
        if (m_watcher.joinable()) m_watcher.join();
        for (int i = kSlots - 1; i >= 0; --i) Close(static_cast<ESlot>(i));
    }
    CInetHandles(const CInetHandles&) = delete;
    CInetHandles& operator=(const CInetHandles&) = delete;

    // Takes a new handle into a slot; false (and the handle closed) when it
    // is null or the call has been aborted meanwhile.
    bool Set(ESlot eSlot, HINTERNET h) {
        std::lock_guard<std::mutex> lock(m_lock);
        if (h && m_bAborted) InternetCloseHandle(h);
        if (!h || m_bAborted) return false;
        m_h[eSlot] = h;
        return true;
    }
    HINTERNET Get(ESlot eSlot) const { return m_h[eSlot]; }
    void Close(ESlot eSlot) {
        std::lock_guard<std::mutex> lock(m_lock);
        if (m_h[eSlot]) InternetCloseHandle(m_h[eSlot]);
        m_h[eSlot] = nullptr;
    }

private:
    void Watch() {
        std::unique_lock<std::mutex> lock(m_lock);
        while (!m_bDone) {
            if (*m_pAbort != 0) {
                m_bAborted = true;
                for (int i = kSlots - 1; i >= 0; --i) {
                    if (m_h[i]) InternetCloseHandle(m_h[i]);
                    m_h[i] = nullptr;
                }
                return;
            }
            m_wake.wait_for(lock, std::chrono::milliseconds(50));
        }
    }

    const std::atomic<int32_t>* m_pAbort;
    std::mutex m_lock;
    std::condition_variable m_wake;
    HINTERNET m_h[kSlots] = {nullptr, nullptr, nullptr};
    bool m_bDone = false;
    bool m_bAborted = false;
    std::thread m_watcher;
};

// The status line of the answer's head as the layer kept it, or empty when
// the head has no header line after it: for an answer without a status line
// (HTTP/0.9 style) the layer makes up "HTTP/1.0 200 OK" and nothing else.
std::string StatusLine(HINTERNET hRequest) {
    std::vector<char> raw(1024);
    DWORD nLen = static_cast<DWORD>(raw.size());
    if (!HttpQueryInfoA(hRequest, HTTP_QUERY_RAW_HEADERS_CRLF, raw.data(), &nLen, nullptr)) {
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return std::string();
        raw.resize(nLen + 1);
        nLen = static_cast<DWORD>(raw.size());
        if (!HttpQueryInfoA(hRequest, HTTP_QUERY_RAW_HEADERS_CRLF, raw.data(), &nLen, nullptr)) return std::string();
    }
    std::string strHead(raw.data(), std::min<size_t>(nLen, raw.size()));
    size_t nEnd = strHead.find("\r\n");
    if (nEnd == std::string::npos || strHead.compare(nEnd + 2, 2, "\r\n") == 0 || nEnd + 2 >= strHead.size())
        return std::string();
    return strHead.substr(0, nEnd);
}

void SetTimeout(HINTERNET h, DWORD nOption, DWORD nMs) {
    InternetSetOptionA(h, nOption, &nMs, sizeof nMs);
}

bool IsRedirect(int nStatus) {
    return nStatus == 301 || nStatus == 302 || nStatus == 303 || nStatus == 307 || nStatus == 308;
}

std::string TargetUrl(const SHttpTarget& t) {
    std::string strHost = t.strHost.find(':') != std::string::npos ? "[" + t.strHost + "]" : t.strHost;
    return (t.bSecure ? "https://" : "http://") + strHost + ":" + std::to_string(t.nPort) + t.strObject;
}

// Where a redirect leads: the Location resolved against the address that
// answered, split by the platform. False for anything but http and https.
bool FollowLocation(const SHttpTarget& from, const std::string& strLocation, SHttpTarget& to) {
    std::string strBase = TargetUrl(from);
    std::vector<char> combined(strBase.size() + strLocation.size() + 2100);
    DWORD nLen = static_cast<DWORD>(combined.size());
    if (!InternetCombineUrlA(strBase.c_str(), strLocation.c_str(), combined.data(), &nLen, ICU_BROWSER_MODE))
        return false;
    std::vector<char> host(2085), path(combined.size() + 1), extra(combined.size() + 1);
    URL_COMPONENTSA parts{};
    parts.dwStructSize = sizeof parts;
    parts.lpszHostName = host.data();
    parts.dwHostNameLength = static_cast<DWORD>(host.size());
    parts.lpszUrlPath = path.data();
    parts.dwUrlPathLength = static_cast<DWORD>(path.size());
    parts.lpszExtraInfo = extra.data();
    parts.dwExtraInfoLength = static_cast<DWORD>(extra.size());
    if (!InternetCrackUrlA(combined.data(), 0, 0, &parts)) return false;
    if (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS) return false;
    to.strHost = host.data();
    to.nPort = parts.nPort;
    to.bSecure = parts.nScheme == INTERNET_SCHEME_HTTPS;
    to.strObject = path.data();
    std::string strExtra = extra.data();
    strExtra = strExtra.substr(0, strExtra.find('#'));  // the fragment stays with the client
    to.strObject += strExtra;
    if (to.strObject.empty() || to.strObject[0] != '/') to.strObject.insert(0, "/");
    return !to.strHost.empty();
}

}  // namespace

void PrepareHttpLayer() {}  // WinINet needs no set-up of its own

SHttpResult HttpGet(const SHttpTarget& first, IHttpBodySink& sink) {
    SHttpResult result;
    std::string strAgent = GetHttpAgentName();
    CInetHandles h(GetHttpAbortFlag());
    using H = CInetHandles;
    if (!h.Set(H::kSession, InternetOpenA(strAgent.c_str(), INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0)))
        return result;
    DWORD nReceiveMs = GetHttpReceiveTimeoutMs();
    SHttpTarget target = first;

    // Redirects are followed here rather than by the layer, which would follow
    // a redirect loop without end.
    for (int nHop = 0;; ++nHop) {
        h.Close(H::kRequest);
        h.Close(H::kConnection);
        if (!h.Set(H::kConnection, InternetConnectA(h.Get(H::kSession), target.strHost.c_str(), target.nPort,
                                                    nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 1)))
            return result;
        SetTimeout(h.Get(H::kSession), INTERNET_OPTION_CONNECT_TIMEOUT, GetHttpConnectTimeoutMs());
        // A stalled answer ends after the receive time-out instead of never.
        SetTimeout(h.Get(H::kSession), INTERNET_OPTION_RECEIVE_TIMEOUT, nReceiveMs);
        SetTimeout(h.Get(H::kSession), INTERNET_OPTION_SEND_TIMEOUT, nReceiveMs);

        DWORD nFlags = (target.bSecure ? INTERNET_FLAG_SECURE : INTERNET_FLAG_KEEP_CONNECTION) |
                       INTERNET_FLAG_NO_AUTO_REDIRECT;
        if (!h.Set(H::kRequest, HttpOpenRequestA(h.Get(H::kConnection), "GET", target.strObject.c_str(), "HTTP/1.0",
                                                 nullptr, nullptr, nFlags, 1)))
            return result;
        HINTERNET hRequest = h.Get(H::kRequest);
        // The connection took the session's options when it was made, before
        // the connect time-out above was set: the request gets it itself.
        SetTimeout(hRequest, INTERNET_OPTION_CONNECT_TIMEOUT, GetHttpConnectTimeoutMs());
        SetTimeout(hRequest, INTERNET_OPTION_RECEIVE_TIMEOUT, nReceiveMs);

        if (!HttpSendRequestA(hRequest, kHeaderLine, static_cast<DWORD>(sizeof kHeaderLine - 1), nullptr, 0))
            return result;  // no status after a failed send

        char szStatus[80] = {0};
        DWORD nLen = sizeof szStatus;
        if (!HttpQueryInfoA(hRequest, HTTP_QUERY_STATUS_CODE, szStatus, &nLen, nullptr)) return result;
        // The layer makes up a status for an answer without a status line, and
        // reads four digits: only a three-digit status line with header lines
        // after it counts.
        std::string strLine = StatusLine(hRequest);
        int nStatus = ParseHttpStatusLine(strLine.data(), strLine.size());
        if (nStatus <= 0 || nStatus != std::atoi(szStatus)) return result;

        if (IsRedirect(nStatus)) {
            std::vector<char> location(4096);
            nLen = static_cast<DWORD>(location.size() - 1);
            if (!HttpQueryInfoA(hRequest, HTTP_QUERY_LOCATION, location.data(), &nLen, nullptr) &&
                GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
                location.resize(nLen + 1);
                nLen = static_cast<DWORD>(location.size() - 1);
                if (!HttpQueryInfoA(hRequest, HTTP_QUERY_LOCATION, location.data(), &nLen, nullptr)) nLen = 0;
            }
            if (nLen > 0 && location[0] != '\0') {
                SHttpTarget next;
                if (nHop >= kHttpMaxRedirects || !FollowLocation(target, std::string(location.data(), nLen), next))
                    return result;  // too many redirects, or one that leads nowhere
                target = next;
                continue;
            }
        }
        result.nStatus = nStatus;

        char szLength[32];
        nLen = sizeof szLength;
        result.bHasLength = HttpQueryInfoA(hRequest, HTTP_QUERY_CONTENT_LENGTH, szLength, &nLen, nullptr) != FALSE;
        unsigned long long nAnnounced = result.bHasLength ? std::strtoull(szLength, nullptr, 10) : 0;

        std::vector<char> buffer(result.bHasLength ? 4096 : 10240);
        unsigned long long nReceived = 0;
        for (;;) {
            // Ask what has arrived first: a read of a whole buffer would wait
            // for all of it, and a stall would take the bytes before it along.
            DWORD nAvailable = 0;
            if (!InternetQueryDataAvailable(hRequest, &nAvailable, 0, 0)) break;
            DWORD nWant = nAvailable == 0 ? 1 : nAvailable;
            if (nWant > buffer.size()) nWant = static_cast<DWORD>(buffer.size());
            DWORD nRead = 0;
            if (!InternetReadFile(hRequest, buffer.data(), nWant, &nRead)) break;
            if (nRead == 0) {
                // An answer that ends before its announced length broke off.
                result.bComplete = !result.bHasLength || nReceived >= nAnnounced;
                break;
            }
            nReceived += nRead;
            if (!sink.OnBody(buffer.data(), nRead)) break;
        }
        return result;  // the handles close in the order request, connection, session
    }
}

}  // namespace platform
