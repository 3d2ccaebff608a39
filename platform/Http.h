// The HTTP seam: one GET of one page through the system's HTTP layer
// (WinINet on Windows, libcurl on Linux).
//
// The core splits the address and builds the request target itself; the
// layer opens a session, connects, sends the request, reads the status code
// and hands the body over in pieces as it arrives. It never keeps anything
// from one call to the next.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

struct SHttpTarget {
    std::string strHost;    // host name or address; IPv6 without brackets
    uint16_t nPort = 80;
    std::string strObject;  // request target: path with query, never empty
    bool bSecure = false;   // TLS with certificate verification
};

// Receives the body as it arrives.
class IHttpBodySink {
public:
    virtual ~IHttpBodySink() = default;
    // Called with each piece of the body; returns false to stop reading.
    virtual bool OnBody(const char* pData, size_t nSize) = 0;
};

// Why an exchange gave no status.
enum EHttpFailure {
    kHttpFailNone = 0,          // a status was read
    kHttpFailNameNotResolved,   // the host name has no address
    kHttpFailRefused,           // the connection was refused (or the host is unreachable)
    kHttpFailTimedOut,          // connecting or waiting for the answer took too long
    kHttpFailCertificate,       // the server's certificate is not trusted or does not match
    kHttpFailTooManyRedirects,  // more than kHttpMaxRedirects redirects
    kHttpFailStopped,           // the abort flag ended the request
    kHttpFailBadAddress,        // the address cannot be requested (no host, another scheme)
    kHttpFailOther              // anything else: a broken answer, a failure of the layer
};

// How one exchange ended.
struct SHttpResult {
    int nStatus = 0;           // status code of the final answer; 0 when none was read
    bool bComplete = false;    // the body was read to its end without a failure
    bool bHasLength = false;   // the answer announced a Content-Length
    EHttpFailure eFailure = kHttpFailOther;  // with nStatus 0: why; else kHttpFailNone
    // The abort flag ended the exchange before its answer was complete, with
    // or without a status (then eFailure is kHttpFailStopped); an answer
    // read to its end before the flag was seen is complete, not stopped.
    bool bStopped = false;
};

// Time-outs of an exchange: connecting, and waiting for the next byte of the
// answer. The environment gives them (platform/Env.h).
struct SHttpTimeouts {
    uint32_t nConnectMs = 20000;
    uint32_t nReceiveMs = 30000;
};

// One request: where to, as whom, how long to wait, and the flag that makes
// it give up. Once *pAbort is not 0, HttpGet returns within about a tenth of
// a second with bStopped (status 0 before the status line; after it, the
// status with bComplete false).
struct SHttpRequest {
    SHttpTarget target;
    std::string strAgent;  // printable ASCII only
    SHttpTimeouts timeouts;
    const std::atomic<int32_t>* pAbort = nullptr;  // none: never given up
};

// Sends "GET <object> HTTP/1.0" with the header line
// "Content-Type: application/x-www-form-urlencoded", the agent, the system's
// proxy settings, redirects of the GET followed (only
// 301, 302, 303, 307 and 308 with a Location, at most kHttpMaxRedirects) and
// certificates verified. Only the head of the final answer from the origin
// gives a status, once its blank line has come, with header lines or none: a
// proxy's reply to CONNECT and interim 1xx blocks do not, nor does a status
// line without exactly three digits or a head cut off before its blank line.
// An answer without any status line (HTTP/0.9 style) is 200 with all its
// bytes as the body, as the Windows layer reads it. Returns with nStatus 0
// and no call of the sink when no status was obtained.
// The core reaches it through the environment (GetEnv().HttpGet).
SHttpResult HttpGet(const SHttpRequest& request, IHttpBodySink& sink);

// Prepares the HTTP layer once, on the main thread before any other thread
// uses it (the TLS library keeps per-thread state of the thread that sets it
// up); HttpGet prepares it itself when nobody did. Later calls do nothing.
void InitHttp();

// Redirects followed before the exchange counts as failed.
constexpr int kHttpMaxRedirects = 20;

// The status code of a status line "HTTP/<version> <three digits>[ reason]";
// 0 when the line is not of that form (no status line, four digits, ...).
// Both sides read the status line with it, so that both builds take the same
// answers for a status.
inline int ParseHttpStatusLine(const char* pLine, size_t nSize) {
    if (nSize < 5 || pLine[0] != 'H' || pLine[1] != 'T' || pLine[2] != 'T' || pLine[3] != 'P' || pLine[4] != '/')
        return 0;
    size_t i = 5;
    while (i < nSize && pLine[i] != ' ' && pLine[i] != '\r' && pLine[i] != '\n') ++i;
    if (i == 5 || i >= nSize || pLine[i] != ' ') return 0;  // no version, or nothing after it
    while (i < nSize && pLine[i] == ' ') ++i;
    int nCode = 0;
    for (int nDigit = 0; nDigit < 3; ++nDigit, ++i) {
        if (i >= nSize || pLine[i] < '0' || pLine[i] > '9') return 0;
        nCode = nCode * 10 + (pLine[i] - '0');
    }
    if (i < nSize && pLine[i] != ' ' && pLine[i] != '\r' && pLine[i] != '\n') return 0;  // a fourth digit
    return nCode;
}

}  // namespace platform
