// The loopback HTTP/HTTPS server on 127.0.0.1 (Linux only) behind
// VlmPageServer (tools/run.sh, the service process tests, the Wine service
// test, the benchmark) and the page-request tests: it records every request
// and answers each path with the bytes configured for it, including the
// faults a real server or network shows (stalls, resets, early closes,
// endless or malformed answers).
//
// Paths without an answer get the default answer (SetDefaultAnswer), else
// 404. A TLS handshake that reaches the plain
// server is recorded as a request with the method "TLS-HELLO" and an empty
// target, and the connection is closed. The HTTPS server only shows that a
// client refuses its certificate: it records a request that comes through
// the handshake ("TLS-ACCEPTED", empty target) and serves nothing. The HTTPS
// server started with a CA (StartWithCa) serves like the plain one, with a
// certificate for 127.0.0.1 signed by a CA that a client may be told to trust.
#pragma once

#ifndef _WIN32

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

struct SHttpAnswer {
    enum EFault {
        kNone,
        kStallFirst,  // nothing at all is sent for nMs
        kStallAt,     // nAt body bytes, nothing for nMs, then the rest
        kResetAt,     // nAt body bytes, then the connection is reset
        kCloseAt,     // nAt body bytes, then the connection is closed
        kTrickle,     // the body one byte at a time, nMs apart
    };
    // Status line and header lines as sent, ending in the blank line; when
    // empty: 200 OK with the body's Content-Length.
    std::string strHead;
    // Body bytes as sent (already chunked, if so); "{n}" in them stands for
    // the number of the request answered (1 for the server's first request).
    std::string strBody;
    uint64_t nRepeat = 1;   // strBody sent this often; 0: without end
    EFault eFault = kNone;
    uint64_t nAt = 0;
    uint32_t nMs = 0;
    bool bKeepOpen = false;  // after the answer the connection waits for another request
};

struct SHttpRequestRecord {
    std::string strMethod;
    std::string strTarget;
    std::string strVersion;
    std::vector<std::pair<std::string, std::string>> headers;
    bool bAnsweredWhole = false;  // every byte of its answer went out
    // Value of the first header of that name (any case); empty when absent.
    std::string Header(const std::string& strName) const;
};

// Thread safety: the setters and queries may be called from any thread while
// the server runs; Start and Stop from the owning thread only.
class CLoopbackServer {
public:
    CLoopbackServer() = default;
    ~CLoopbackServer() { Stop(); }
    CLoopbackServer(const CLoopbackServer&) = delete;
    CLoopbackServer& operator=(const CLoopbackServer&) = delete;

    // Listens on an ephemeral port; bTls serves HTTPS with a self-signed
    // certificate made now. False when it could not start.
    bool Start(bool bTls = false);
    // Listens as an HTTPS server whose certificate a CA made now signs; the
    // CA's certificate goes into strCaDir (ending in '/') as ca.pem and under
    // the hashed name OpenSSL looks for in a directory.
    bool StartWithCa(const std::string& strCaDir);
    void Stop();

    uint16_t Port() const { return m_nPort; }
    // "http://127.0.0.1:<port>" + strPath (https for a TLS server).
    std::string Url(const std::string& strPath) const;
    // The answer for a path (the request target up to its '?').
    void SetAnswer(const std::string& strPath, const SHttpAnswer& answer);
    // The answer for every path that has none of its own.
    void SetDefaultAnswer(const SHttpAnswer& answer);
    std::vector<SHttpRequestRecord> RequestsFor(const std::string& strPath) const;
    // Every request so far, in the order they came.
    std::vector<SHttpRequestRecord> Requests() const;
    // Connections accepted so far (also those that never sent a request).
    int ConnectionCount() const { return m_nConnections; }

private:
    struct STls;
    bool Start(bool bTls, const std::string& strCaDir);
    void AcceptLoop();
    void Serve(int nSocket);

    std::atomic<bool> m_bStop{false};
    int m_nListen = -1;
    uint16_t m_nPort = 0;
    std::shared_ptr<STls> m_pTls;
    std::thread m_acceptThread;
    std::atomic<int> m_nConnections{0};

    mutable std::mutex m_lock;
    std::map<std::string, SHttpAnswer> m_answers;
    std::unique_ptr<SHttpAnswer> m_pDefault;
    std::vector<SHttpRequestRecord> m_requests;
    std::vector<std::thread> m_connThreads;
};

#endif  // _WIN32
