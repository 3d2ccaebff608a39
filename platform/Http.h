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

// Sends "GET <object> HTTP/1.0" with the header line
// "Content-Type: application/x-www-form-urlencoded", the executable's name as
// the agent, the system's proxy settings, redirects of the GET followed (only
// 301, 302, 303, 307 and 308 with a Location, at most kHttpMaxRedirects) and
// certificates verified. Only the head of the final answer from the origin
// gives a status, once its blank line has come, with header lines or none: a
// proxy's reply to CONNECT and interim 1xx blocks do not, nor does a status
// line without exactly three digits or a head cut off before its blank line.
// An answer without any status line (HTTP/0.9 style) is 200 with all its
// bytes as the body, as the Windows layer reads it. Returns with nStatus 0
// and no call of the sink when no status was obtained.
SHttpResult HttpGet(const SHttpTarget& target, IHttpBodySink& sink);

// Prepares the HTTP layer once, on the main thread before any other thread
// uses it (the TLS library keeps per-thread state of the thread that sets it
// up), and names the flag that makes a request in flight give up: once it is
// not 0, HttpGet returns within about a tenth of a second with bStopped (status
// 0 before the status line; after it, the status with bComplete false). A
// later call only changes
// the flag; HttpGet prepares the layer itself when nobody did.
void InitHttp(const std::atomic<int32_t>* pAbort);
// The flag named by InitHttp; nullptr when none.
const std::atomic<int32_t>* GetHttpAbortFlag();

// Each side's one-time set-up of its library (InitHttp and HttpGet call it;
// later calls do nothing).
void PrepareHttpLayer();

// The status code of a status line "HTTP/<version> <three digits>[ reason]";
// 0 when the line is not of that form (no status line, four digits, ...).
int ParseHttpStatusLine(const char* pLine, size_t nSize);

// Redirects followed before the exchange counts as failed.
constexpr int kHttpMaxRedirects = 20;

// Time-outs of the exchange: connecting (20000 ms) and waiting for the next
// byte of the answer (30000 ms). Only tests and test programs change them;
// 0 restores the default.
void SetHttpTimeouts(uint32_t nConnectMs, uint32_t nReceiveMs);
uint32_t GetHttpConnectTimeoutMs();
uint32_t GetHttpReceiveTimeoutMs();

// The agent name: the executable's file name without its extension, of which
// only printable ASCII (0x20 to 0x7E) is kept: a name with control bytes or
// code page 936 text cannot break the request header.
std::string GetHttpAgentName();

}  // namespace platform
