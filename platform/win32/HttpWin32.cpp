// Windows side of the HTTP seam: WinINet, one session, connection and request
// per call, closed again in that order on every path.
#include <windows.h>
#include <wininet.h>

#include <cstdlib>
#include <vector>

#include "platform/Http.h"

namespace platform {

namespace {

const char kHeaderLine[] = "Content-Type: application/x-www-form-urlencoded";

class CInetHandle {
public:
    explicit CInetHandle(HINTERNET h = nullptr) : m_h(h) {}
    ~CInetHandle() { Close(); }
    CInetHandle(const CInetHandle&) = delete;
    CInetHandle& operator=(const CInetHandle&) = delete;
    void Close() {
        if (m_h) InternetCloseHandle(m_h);
        m_h = nullptr;
    }
    HINTERNET Get() const { return m_h; }

private:
    HINTERNET m_h;
};

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

SHttpResult HttpGet(const SHttpTarget& first, IHttpBodySink& sink) {
    SHttpResult result;
    std::string strAgent = GetHttpAgentName();
    CInetHandle session(InternetOpenA(strAgent.c_str(), INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    if (!session.Get()) return result;
    DWORD nReceiveMs = GetHttpReceiveTimeoutMs();
    SHttpTarget target = first;

    // Redirects are followed here rather than by the layer, which would follow
    // a redirect loop without end.
    for (int nHop = 0;; ++nHop) {
        CInetHandle connection(InternetConnectA(session.Get(), target.strHost.c_str(), target.nPort, nullptr,
                                                nullptr, INTERNET_SERVICE_HTTP, 0, 1));
        if (!connection.Get()) return result;
        SetTimeout(session.Get(), INTERNET_OPTION_CONNECT_TIMEOUT, GetHttpConnectTimeoutMs());
        // A stalled answer ends after the receive time-out instead of never.
        SetTimeout(session.Get(), INTERNET_OPTION_RECEIVE_TIMEOUT, nReceiveMs);
        SetTimeout(session.Get(), INTERNET_OPTION_SEND_TIMEOUT, nReceiveMs);

        DWORD nFlags = (target.bSecure ? INTERNET_FLAG_SECURE : INTERNET_FLAG_KEEP_CONNECTION) |
                       INTERNET_FLAG_NO_AUTO_REDIRECT;
        CInetHandle request(HttpOpenRequestA(connection.Get(), "GET", target.strObject.c_str(), "HTTP/1.0",
                                             nullptr, nullptr, nFlags, 1));
        if (!request.Get()) return result;
        SetTimeout(request.Get(), INTERNET_OPTION_RECEIVE_TIMEOUT, nReceiveMs);

        if (!HttpSendRequestA(request.Get(), kHeaderLine, static_cast<DWORD>(sizeof kHeaderLine - 1), nullptr, 0))
            return result;  // no status after a failed send

        char szStatus[80] = {0};
        DWORD nLen = sizeof szStatus;
        if (!HttpQueryInfoA(request.Get(), HTTP_QUERY_STATUS_CODE, szStatus, &nLen, nullptr)) return result;
        int nStatus = std::atoi(szStatus);
        if (nStatus <= 0) return result;

        if (IsRedirect(nStatus)) {
            std::vector<char> location(4096);
            nLen = static_cast<DWORD>(location.size() - 1);
            if (!HttpQueryInfoA(request.Get(), HTTP_QUERY_LOCATION, location.data(), &nLen, nullptr) &&
                GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
                location.resize(nLen + 1);
                nLen = static_cast<DWORD>(location.size() - 1);
                if (!HttpQueryInfoA(request.Get(), HTTP_QUERY_LOCATION, location.data(), &nLen, nullptr)) nLen = 0;
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
        result.bHasLength =
            HttpQueryInfoA(request.Get(), HTTP_QUERY_CONTENT_LENGTH, szLength, &nLen, nullptr) != FALSE;
        unsigned long long nAnnounced = result.bHasLength ? std::strtoull(szLength, nullptr, 10) : 0;

        std::vector<char> buffer(result.bHasLength ? 4096 : 10240);
        unsigned long long nReceived = 0;
        for (;;) {
            // Ask what has arrived first: a read of a whole buffer would wait
            // for all of it, and a stall would take the bytes before it along.
            DWORD nAvailable = 0;
            if (!InternetQueryDataAvailable(request.Get(), &nAvailable, 0, 0)) break;
            DWORD nWant = nAvailable == 0 ? 1 : nAvailable;
            if (nWant > buffer.size()) nWant = static_cast<DWORD>(buffer.size());
            DWORD nRead = 0;
            if (!InternetReadFile(request.Get(), buffer.data(), nWant, &nRead)) break;
            if (nRead == 0) {
                // An answer that ends before its announced length broke off.
                result.bComplete = !result.bHasLength || nReceived >= nAnnounced;
                break;
            }
            nReceived += nRead;
            if (!sink.OnBody(buffer.data(), nRead)) break;
        }
        request.Close();
        connection.Close();
        session.Close();
        return result;
    }
}

}  // namespace platform
