// A small HTTP/HTTPS server on 127.0.0.1 for tests (Linux only): it records
// every request and answers each path with a configured answer, including
// the faults a real server or network shows (stalls, resets, endless or
// malformed answers).
//
//   CTestHttpServer server;
//   server.Start();                         // or Start(true) for HTTPS
//   SHttpAnswer answer;
//   answer.strBody = "hello\n";
//   server.SetAnswer("/page", answer);
//   ... request server.Url("/page") ...
//   server.RequestsFor("/page")[0].strTarget  // "/page?vlmrnd=..."
//   server.Stop();                          // also done by the destructor
//
// Paths without an answer get 404 with the body "no answer set\n". A TLS
// handshake that reaches the plain server is recorded as a request with the
// method "TLS-HELLO" and an empty target, and the connection is closed.
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
    enum class EBody {
        kLength,      // Content-Length announced
        kNoLength,    // no Content-Length: the close ends the body
        kChunked,     // Transfer-Encoding: chunked, chunks of at most 7 bytes
        kBadChunked,  // chunked with a chunk-size line that is not hexadecimal
    };
    int nStatus = 200;
    std::string strReason = "OK";
    std::vector<std::string> headers;  // extra header lines, "Name: value"
    std::string strBody;
    EBody eBody = EBody::kLength;
    // When not 0, the body is strBody repeated up to this many bytes (the
    // length announced with kLength); kEndless repeats it without end (until
    // the client goes or the server stops), without Content-Length.
    uint64_t nRepeatTo = 0;
    static constexpr uint64_t kEndless = UINT64_MAX;
    // Sent verbatim instead of the status line and headers when not empty.
    std::string strRawHead;

    // Faults. A stall lasts until the client closes, the server stops or the
    // time runs out, whichever comes first.
    uint32_t nStallBeforeStatusMs = 0;  // nothing sent at all for this long
    uint64_t nStallAtByte = 0;          // with nStallMidBodyMs: body bytes sent before the stall
    uint32_t nStallMidBodyMs = 0;       // then the rest of the body follows
    uint32_t nTrickleMs = 0;            // body sent one byte at a time, this far apart
    int64_t nResetAtByte = -1;          // the connection is reset after this many body bytes
    int64_t nCloseAtByte = -1;          // the connection is closed after this many body bytes
};

struct SHttpRequestRecord {
    std::string strMethod;
    std::string strTarget;
    std::string strVersion;
    std::vector<std::pair<std::string, std::string>> headers;
    // Value of the first header of that name (any case); empty when absent.
    std::string Header(const std::string& strName) const;
    bool HasHeader(const std::string& strName) const;
};

class CTestHttpServer {
public:
    CTestHttpServer() = default;
    ~CTestHttpServer();
    CTestHttpServer(const CTestHttpServer&) = delete;
    CTestHttpServer& operator=(const CTestHttpServer&) = delete;

    // Listens on 127.0.0.1 with an ephemeral port; bTls serves HTTPS with a
    // self-signed certificate made now. False when it could not start.
    bool Start(bool bTls = false);
    void Stop();

    uint16_t Port() const { return m_nPort; }
    // "http://127.0.0.1:<port>" + strPath (https for a TLS server).
    std::string Url(const std::string& strPath) const;

    // The answer for a path (the request target up to its '?').
    void SetAnswer(const std::string& strPath, const SHttpAnswer& answer);

    std::vector<SHttpRequestRecord> Requests() const;
    std::vector<SHttpRequestRecord> RequestsFor(const std::string& strPath) const;
    void ClearRequests();
    // Connections accepted so far (also those that never sent a request).
    int ConnectionCount() const { return m_nConnections; }

private:
    struct STls;
    void AcceptLoop();
    void Serve(int nSocket);

    std::atomic<bool> m_bStop{false};
    int m_nListen = -1;
    uint16_t m_nPort = 0;
    bool m_bTls = false;
    std::shared_ptr<STls> m_pTls;
    std::thread m_acceptThread;
    std::atomic<int> m_nConnections{0};

    mutable std::mutex m_lock;
    std::map<std::string, SHttpAnswer> m_answers;
    std::vector<SHttpRequestRecord> m_requests;
    struct SConnThread {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> pDone;
    };
    std::vector<SConnThread> m_connThreads;  // finished ones are joined as new ones come
};

#endif  // _WIN32
