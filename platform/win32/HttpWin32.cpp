// Windows side of the HTTP seam: WinINet, one session, connection and request
// per call, closed again in that order on every path.
#include <windows.h>
#include <wininet.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <thread>
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
    // Takes h in place of the handle held, which is closed.
    void Reset(HINTERNET h) {
        Close();
        m_h = h;
    }
    HINTERNET Get() const { return m_h; }

private:
    HINTERNET m_h;
};

// What the exchange thread hands to the caller's thread. WinINet's blocking
// calls cannot be interrupted from outside, so the exchange runs on a thread
// of its own and the caller waits for its news, looking at the abort flag in
// between; once the caller has given up, the exchange thread finishes its
// blocking call alone, drops what it reads and closes its handles.
struct SExchangeNews {
    std::mutex lock;
    std::condition_variable wake;
    bool bHaveStatus = false;  // result.nStatus and bHasLength are set
    bool bDone = false;        // result.bComplete is set; the thread leaves
    bool bAbandoned = false;   // the caller reads no more
    uint64_t nSteps = 0;       // grows with every sign of life of the exchange
    SHttpResult result;
    std::vector<std::string> pieces;  // body bytes not yet handed on
    size_t nQueued = 0;               // their size
};

// Body bytes the exchange thread reads ahead of the caller at most: beyond
// this it waits, so that a page is not held twice when the caller is slower.
constexpr size_t kMaxQueuedBody = 1u << 20;

// How much longer than the connect and receive time-outs together the caller
// waits for a sign of life of the exchange before it gives up.
constexpr uint32_t kQuietSlackMs = 1000;

// Passes the body to the caller's thread; false once the caller has gone.
class CNewsSink : public IHttpBodySink {
public:
    explicit CNewsSink(SExchangeNews& news) : m_news(news) {}
    bool OnBody(const char* pData, size_t nSize) override {
        std::unique_lock<std::mutex> lock(m_news.lock);
        // Looks again now and then rather than trusting every wake-up to arrive.
        while (!m_news.wake.wait_for(lock, std::chrono::milliseconds(50),
                                     [this] { return m_news.bAbandoned || m_news.nQueued < kMaxQueuedBody; })) {
        }
        if (m_news.bAbandoned) return false;
        m_news.pieces.emplace_back(pData, nSize);
        m_news.nQueued += nSize;
        ++m_news.nSteps;
        m_news.wake.notify_all();
        return true;
    }

private:
    SExchangeNews& m_news;
};

// The first line of the answer's head as the layer kept it. For an answer
// without a status line (HTTP/0.9 style) the layer makes up "HTTP/1.0 200 OK"
// and reads the bytes as the body.
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
    return strHead.substr(0, strHead.find("\r\n"));
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

// Why a call of the layer failed, from its error code.
EHttpFailure FailureOf(DWORD nError) {
    switch (nError) {
    case ERROR_INTERNET_NAME_NOT_RESOLVED:
        return kHttpFailNameNotResolved;
    case ERROR_INTERNET_CANNOT_CONNECT:
    case ERROR_INTERNET_SERVER_UNREACHABLE:
        return kHttpFailRefused;
    case ERROR_INTERNET_TIMEOUT:
        return kHttpFailTimedOut;
    case ERROR_INTERNET_SEC_CERT_DATE_INVALID:
    case ERROR_INTERNET_SEC_CERT_CN_INVALID:
    case ERROR_INTERNET_INVALID_CA:
    case ERROR_INTERNET_SEC_CERT_ERRORS:
    case ERROR_INTERNET_SEC_CERT_NO_REV:
    case ERROR_INTERNET_SEC_CERT_REV_FAILED:
    case ERROR_INTERNET_SEC_INVALID_CERT:
    case ERROR_INTERNET_SEC_CERT_REVOKED:
        return kHttpFailCertificate;
    case ERROR_INTERNET_INVALID_URL:
    case ERROR_INTERNET_UNRECOGNIZED_SCHEME:
        return kHttpFailBadAddress;
    case ERROR_INTERNET_OPERATION_CANCELLED:
        return kHttpFailStopped;
    default:
        return kHttpFailOther;
    }
}

void Exchange(const SHttpRequest& request, IHttpBodySink& sink, SHttpResult& result, SExchangeNews& news);

// The whole exchange, on the exchange thread.
void RunExchange(const SHttpRequest& request, SExchangeNews& news) {
    SHttpResult result;
    CNewsSink sink(news);
    Exchange(request, sink, result, news);
    std::lock_guard<std::mutex> lock(news.lock);
    news.result.bComplete = result.bComplete;
    news.result.eFailure = result.eFailure;
    news.bDone = true;
    news.wake.notify_all();
}

// The connection to target, with the session's time-outs set once it is
// made; false, with the failure set, when it cannot be made.
bool Connect(HINTERNET hSession, const SHttpTarget& target, const SHttpTimeouts& timeouts,
             CInetHandle& connection, SHttpResult& result) {
    connection.Reset(InternetConnectA(hSession, target.strHost.c_str(), target.nPort, nullptr, nullptr,
                                      INTERNET_SERVICE_HTTP, 0, 1));
    if (!connection.Get()) {
        result.eFailure = FailureOf(GetLastError());
        return false;
    }
    SetTimeout(hSession, INTERNET_OPTION_CONNECT_TIMEOUT, timeouts.nConnectMs);
    // A stalled answer ends after the receive time-out instead of never.
    SetTimeout(hSession, INTERNET_OPTION_RECEIVE_TIMEOUT, timeouts.nReceiveMs);
    SetTimeout(hSession, INTERNET_OPTION_SEND_TIMEOUT, timeouts.nReceiveMs);
    return true;
}

// The GET request on the connection, with its own time-outs; false, with
// the failure set, when it cannot be made.
bool OpenRequest(HINTERNET hConnection, const SHttpTarget& target, const SHttpTimeouts& timeouts,
                 CInetHandle& request, SHttpResult& result) {
    DWORD nFlags = (target.bSecure ? INTERNET_FLAG_SECURE : INTERNET_FLAG_KEEP_CONNECTION) |
                   INTERNET_FLAG_NO_AUTO_REDIRECT;
    request.Reset(HttpOpenRequestA(hConnection, "GET", target.strObject.c_str(), "HTTP/1.0", nullptr, nullptr,
                                   nFlags, 1));
    if (!request.Get()) {
        result.eFailure = FailureOf(GetLastError());
        return false;
    }
    // The connection took the session's options when it was made, before
    // the connect time-out above was set: the request gets it itself.
    SetTimeout(request.Get(), INTERNET_OPTION_CONNECT_TIMEOUT, timeouts.nConnectMs);
    SetTimeout(request.Get(), INTERNET_OPTION_RECEIVE_TIMEOUT, timeouts.nReceiveMs);
    return true;
}

// Sends the request and waits for the head of its answer; false, with the
// failure set, when that fails.
bool SendRequest(HINTERNET hRequest, DWORD nReceiveMs, SHttpResult& result) {
    auto tSend = std::chrono::steady_clock::now();
    if (HttpSendRequestA(hRequest, kHeaderLine, static_cast<DWORD>(sizeof kHeaderLine - 1), nullptr, 0)) return true;
    // No status after a failed send. A connection given up after the
    // whole receive time-out is a time-out, whatever the error says
    // (Wine's layer reports it as an aborted connection).
    DWORD nError = GetLastError();
    auto nWaited = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - tSend);
    bool bWaitedOut = nWaited.count() >= static_cast<long long>(nReceiveMs);
    result.eFailure = bWaitedOut && (nError == ERROR_INTERNET_CONNECTION_ABORTED ||
                                     nError == ERROR_INTERNET_CONNECTION_RESET)
                          ? kHttpFailTimedOut
                          : FailureOf(nError);
    return false;
}

// The status of the answer; 0 when it has none that counts.
int ReadStatus(HINTERNET hRequest) {
    char szStatus[80] = {0};
    DWORD nLen = sizeof szStatus;
    if (!HttpQueryInfoA(hRequest, HTTP_QUERY_STATUS_CODE, szStatus, &nLen, nullptr)) return 0;
    // The layer reads four digits and more: only the three digits of a
    // status line count. An interim 1xx answer that no final one followed is
    // no answer.
    std::string strLine = StatusLine(hRequest);
    int nStatus = ParseHttpStatusLine(strLine.data(), strLine.size());
    if (nStatus == 0 || (nStatus >= 100 && nStatus <= 199) || nStatus != std::atoi(szStatus)) return 0;
    return nStatus;
}

// The answer's Location; empty when it has none.
std::string LocationOf(HINTERNET hRequest) {
    std::vector<char> location(4096);
    DWORD nLen = static_cast<DWORD>(location.size() - 1);
    if (!HttpQueryInfoA(hRequest, HTTP_QUERY_LOCATION, location.data(), &nLen, nullptr) &&
        GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
        location.resize(nLen + 1);
        nLen = static_cast<DWORD>(location.size() - 1);
        if (!HttpQueryInfoA(hRequest, HTTP_QUERY_LOCATION, location.data(), &nLen, nullptr)) nLen = 0;
    }
    if (nLen > 0 && location[0] != '\0') return std::string(location.data(), nLen);
    return std::string();
}

// Moves target on to where a redirect leads; false, with the failure set,
// when it is not followed.
bool FollowRedirect(SHttpTarget& target, int nHop, const std::string& strLocation, SHttpResult& result) {
    SHttpTarget next;
    if (nHop >= kHttpMaxRedirects) {
        result.eFailure = kHttpFailTooManyRedirects;
        return false;
    }
    if (!FollowLocation(target, strLocation, next)) {
        result.eFailure = kHttpFailBadAddress;  // a redirect that leads nowhere
        return false;
    }
    target = next;
    return true;
}

// Hands the status and whether a length was announced to the caller's
// thread; the announced length, 0 when there is none.
unsigned long long ReportStatus(HINTERNET hRequest, int nStatus, bool& bHasLength, SExchangeNews& news) {
    char szLength[32];
    DWORD nLen = sizeof szLength;
    bHasLength = HttpQueryInfoA(hRequest, HTTP_QUERY_CONTENT_LENGTH, szLength, &nLen, nullptr) != FALSE;
    unsigned long long nAnnounced = bHasLength ? std::strtoull(szLength, nullptr, 10) : 0;
    std::lock_guard<std::mutex> lock(news.lock);
    news.result.nStatus = nStatus;
    news.result.bHasLength = bHasLength;
    news.result.eFailure = kHttpFailNone;
    news.bHaveStatus = true;
    ++news.nSteps;
    news.wake.notify_all();
    return nAnnounced;
}

// Reads the body into the sink until it ends, breaks off or is refused.
void ReadBody(HINTERNET hRequest, bool bHasLength, unsigned long long nAnnounced, IHttpBodySink& sink,
              SHttpResult& result) {
    std::vector<char> buffer(bHasLength ? 4096 : 10240);
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
            result.bComplete = !bHasLength || nReceived >= nAnnounced;
            break;
        }
        nReceived += nRead;
        if (!sink.OnBody(buffer.data(), nRead)) break;
    }
}

// One hop of the exchange, on a connection and request of its own; true
// when it was a redirect that is followed, with target moved on to it.
bool ExchangeHop(HINTERNET hSession, SHttpTarget& target, int nHop, const SHttpTimeouts& timeouts,
                 IHttpBodySink& sink, SHttpResult& result, SExchangeNews& news) {
    {
        std::lock_guard<std::mutex> lock(news.lock);
        ++news.nSteps;  // each hop has the whole bound for its connection and head
    }
    CInetHandle connection;
    if (!Connect(hSession, target, timeouts, connection, result)) return false;
    CInetHandle request;
    if (!OpenRequest(connection.Get(), target, timeouts, request, result)) return false;
    HINTERNET hRequest = request.Get();
    if (!SendRequest(hRequest, timeouts.nReceiveMs, result)) return false;
    int nStatus = ReadStatus(hRequest);
    if (nStatus == 0) return false;
    if (IsRedirect(nStatus)) {
        std::string strLocation = LocationOf(hRequest);
        if (!strLocation.empty()) return FollowRedirect(target, nHop, strLocation, result);
    }
    bool bHasLength = false;
    unsigned long long nAnnounced = ReportStatus(hRequest, nStatus, bHasLength, news);
    ReadBody(hRequest, bHasLength, nAnnounced, sink, result);
    return false;  // the handles close in the order request, connection
}

void Exchange(const SHttpRequest& request, IHttpBodySink& sink, SHttpResult& result, SExchangeNews& news) {
    CInetHandle session(InternetOpenA(request.strAgent.c_str(), INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    if (!session.Get()) return;
    SHttpTarget target = request.target;

    // Redirects are followed here rather than by the layer, which would follow
    // a redirect loop without end.
    for (int nHop = 0; ExchangeHop(session.Get(), target, nHop, request.timeouts, sink, result, news); ++nHop) {
    }
}  // the session closes last, after each hop's request and connection

}  // namespace

void InitHttp() {}  // WinINet needs no set-up of its own

SHttpResult HttpGet(const SHttpRequest& request, IHttpBodySink& sink) {
    SHttpResult result;
    // The layer's time-outs are not always kept (a connection that is never
    // answered can hang for minutes): the caller gives up by itself once the
    // exchange has shown no sign of life for longer than a connection and
    // an answer's head may take.
    const auto tQuiet = std::chrono::milliseconds(static_cast<uint64_t>(request.timeouts.nConnectMs) +
                                                  request.timeouts.nReceiveMs + kQuietSlackMs);
    auto tLastNews = std::chrono::steady_clock::now();
    uint64_t nStepsSeen = 0;
    auto pNews = std::make_shared<SExchangeNews>();
    try {
        std::thread([pNews, request] { RunExchange(request, *pNews); }).detach();
    } catch (...) {
        return result;  // no thread: no exchange
    }
    const std::atomic<int32_t>* pAbort = request.pAbort;
    std::vector<std::string> pieces;
    std::unique_lock<std::mutex> lock(pNews->lock);
    for (;;) {
        pNews->wake.wait_for(lock, std::chrono::milliseconds(50),
                             [&] { return pNews->bDone || !pNews->pieces.empty(); });
        if (pNews->bHaveStatus) {
            result.nStatus = pNews->result.nStatus;
            result.bHasLength = pNews->result.bHasLength;
            result.eFailure = kHttpFailNone;
        }
        pieces.swap(pNews->pieces);
        if (pNews->nQueued != 0) {
            pNews->nQueued = 0;
            pNews->wake.notify_all();  // the exchange thread may read on
        }
        bool bDone = pNews->bDone;
        auto tNow = std::chrono::steady_clock::now();
        if (pNews->nSteps != nStepsSeen) {
            nStepsSeen = pNews->nSteps;
            tLastNews = tNow;
        }
        bool bSilent = !bDone && tNow - tLastNews > tQuiet;
        lock.unlock();
        bool bGoOn = true;
        for (const std::string& strPiece : pieces) {
            if (bGoOn) bGoOn = sink.OnBody(strPiece.data(), strPiece.size());
        }
        pieces.clear();
        if (bDone && bGoOn) {
            // Written before bDone, under the lock.
            result.bComplete = pNews->result.bComplete;
            if (result.nStatus == 0) result.eFailure = pNews->result.eFailure;
            return result;
        }
        const bool bAborted = pAbort && *pAbort != 0;
        if (!bGoOn || bDone || bSilent || bAborted) {
            lock.lock();
            pNews->bAbandoned = true;  // the exchange thread drops the rest
            pNews->wake.notify_all();
            // Given up for the stop, with or without a status: what came so
            // far is no complete answer.
            result.bStopped = bAborted && bGoOn && !bDone;
            if (result.nStatus == 0)
                result.eFailure = bDone ? pNews->result.eFailure : bSilent ? kHttpFailTimedOut : kHttpFailStopped;
            return result;
        }
        lock.lock();
    }
}

}  // namespace platform
