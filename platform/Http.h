// The HTTP seam: one GET of one page through the system's HTTP layer
// (WinINet on Windows, libcurl on Linux).
//
// The core splits the address and builds the request target itself; the
// layer opens a session, connects, sends the request, reads the status code
// and hands the body over in pieces as it arrives. It never keeps anything
// from one call to the next.
#pragma once

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

// How one exchange ended.
struct SHttpResult {
    int nStatus = 0;           // status code of the final answer; 0 when none was read
    bool bComplete = false;    // the body was read to its end without a failure
    bool bHasLength = false;   // the answer announced a Content-Length
};

// Sends "GET <object> HTTP/1.0" with the header line
// "Content-Type: application/x-www-form-urlencoded", the executable's name as
// the agent, the system's proxy settings, redirects of the GET followed (at
// most kHttpMaxRedirects) and certificates verified. Returns with nStatus 0
// and no call of the sink when no status line was obtained.
SHttpResult HttpGet(const SHttpTarget& target, IHttpBodySink& sink);

// Redirects followed before the exchange counts as failed.
constexpr int kHttpMaxRedirects = 20;

// Time-outs of the exchange: connecting (20000 ms) and waiting for the next
// byte of the answer (30000 ms). Only tests and test programs change them;
// 0 restores the default.
void SetHttpTimeouts(uint32_t nConnectMs, uint32_t nReceiveMs);
uint32_t GetHttpConnectTimeoutMs();
uint32_t GetHttpReceiveTimeoutMs();

// The agent name: the executable's file name without its extension.
std::string GetHttpAgentName();

}  // namespace platform
