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

}  // namespace

SHttpResult HttpGet(const SHttpTarget& target, IHttpBodySink& sink) {
    SHttpResult result;
    std::string strAgent = GetHttpAgentName();
    CInetHandle session(InternetOpenA(strAgent.c_str(), INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    if (!session.Get()) return result;
    CInetHandle connection(InternetConnectA(session.Get(), target.strHost.c_str(), target.nPort, nullptr,
                                            nullptr, INTERNET_SERVICE_HTTP, 0, 1));
    if (!connection.Get()) return result;
    SetTimeout(session.Get(), INTERNET_OPTION_CONNECT_TIMEOUT, GetHttpConnectTimeoutMs());
    // A stalled answer ends after the receive time-out instead of never.
    DWORD nReceiveMs = GetHttpReceiveTimeoutMs();
    SetTimeout(session.Get(), INTERNET_OPTION_RECEIVE_TIMEOUT, nReceiveMs);
    SetTimeout(session.Get(), INTERNET_OPTION_SEND_TIMEOUT, nReceiveMs);

    DWORD nFlags = target.bSecure ? INTERNET_FLAG_SECURE : INTERNET_FLAG_KEEP_CONNECTION;
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
    result.nStatus = nStatus;

    char szLength[32];
    nLen = sizeof szLength;
    result.bHasLength = HttpQueryInfoA(request.Get(), HTTP_QUERY_CONTENT_LENGTH, szLength, &nLen, nullptr) != FALSE;

    std::vector<char> buffer(result.bHasLength ? 4096 : 10240);
    for (;;) {
        DWORD nRead = 0;
        if (!InternetReadFile(request.Get(), buffer.data(), static_cast<DWORD>(buffer.size()), &nRead)) break;
        if (nRead == 0) {
            result.bComplete = true;
            break;
        }
        if (!sink.OnBody(buffer.data(), nRead)) break;
    }
    request.Close();
    connection.Close();
    session.Close();
    return result;
}

}  // namespace platform
