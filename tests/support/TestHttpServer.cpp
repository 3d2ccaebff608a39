#ifndef _WIN32

#include "support/TestHttpServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>

namespace {

using SteadyClock = std::chrono::steady_clock;

bool EqualNoCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

std::string PathOf(const std::string& strTarget) { return strTarget.substr(0, strTarget.find('?')); }

// One accepted connection, plain or TLS.
class CConn {
public:
    CConn(int nSocket, SSL* pSsl, const std::atomic<bool>& bStop) : m_nSocket(nSocket), m_pSsl(pSsl), m_bStop(bStop) {}
    ~CConn() {
        if (m_pSsl) SSL_free(m_pSsl);
        if (m_nSocket >= 0) close(m_nSocket);
    }

    bool Send(const char* p, size_t n) {
        while (n > 0) {
            if (m_bStop) return false;
            ssize_t nSent;
            if (m_pSsl) {
                int nPart = SSL_write(m_pSsl, p, static_cast<int>(std::min<size_t>(n, 1 << 20)));
                nSent = nPart > 0 ? nPart : -1;
            } else {
                nSent = send(m_nSocket, p, n, MSG_NOSIGNAL);
            }
            if (nSent <= 0) return false;
            p += nSent;
            n -= static_cast<size_t>(nSent);
        }
        return true;
    }
    bool Send(const std::string& s) { return Send(s.data(), s.size()); }

    // Waits until data can be read, for at most nMs; false on time-out or stop.
    bool WaitReadable(uint32_t nMs) {
        if (m_pSsl && SSL_pending(m_pSsl) > 0) return true;
        auto tEnd = SteadyClock::now() + std::chrono::milliseconds(nMs);
        while (!m_bStop && SteadyClock::now() < tEnd) {
            pollfd pfd{m_nSocket, POLLIN, 0};
            if (poll(&pfd, 1, 50) > 0) return true;
        }
        return false;
    }

    int Recv(char* p, size_t n) {
        if (m_pSsl) return SSL_read(m_pSsl, p, static_cast<int>(n));
        return static_cast<int>(recv(m_nSocket, p, n, 0));
    }

    // Sleeps for nMs, ending early when the peer closes or the server stops.
    void Stall(uint32_t nMs) {
        auto tEnd = SteadyClock::now() + std::chrono::milliseconds(nMs);
        while (!m_bStop && SteadyClock::now() < tEnd) {
            pollfd pfd{m_nSocket, POLLIN, 0};
            if (poll(&pfd, 1, 50) > 0) {
                char c;
                ssize_t n = recv(m_nSocket, &c, 1, MSG_PEEK | MSG_DONTWAIT);
                if (n == 0 || (pfd.revents & (POLLHUP | POLLERR))) return;
                if (n > 0 && !m_pSsl) {
                    recv(m_nSocket, &c, 1, 0);  // stray bytes after the request
                } else if (n > 0) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(50));
                }
            }
        }
    }

    void Reset() {
        linger lin{1, 0};
        setsockopt(m_nSocket, SOL_SOCKET, SO_LINGER, &lin, sizeof lin);
        if (m_pSsl) {
            SSL_free(m_pSsl);
            m_pSsl = nullptr;
        }
        close(m_nSocket);
        m_nSocket = -1;
    }

    void Finish() {
        if (m_pSsl) SSL_shutdown(m_pSsl);
        if (m_nSocket >= 0) shutdown(m_nSocket, SHUT_WR);
        // Let the client read to the end before the socket goes.
        Stall(2000);
    }

private:
    int m_nSocket;
    SSL* m_pSsl;
    const std::atomic<bool>& m_bStop;
};

bool ReadRequest(CConn& conn, SHttpRequestRecord& rec) {
    std::string strHead;
    char buf[4096];
    while (strHead.find("\r\n\r\n") == std::string::npos) {
        if (strHead.size() > 65536 || !conn.WaitReadable(5000)) return false;
        int n = conn.Recv(buf, sizeof buf);
        if (n <= 0) return false;
        strHead.append(buf, static_cast<size_t>(n));
    }
    strHead.resize(strHead.find("\r\n\r\n") + 2);
    size_t nPos = 0;
    bool bFirst = true;
    while (nPos < strHead.size()) {
        size_t nEol = strHead.find("\r\n", nPos);
        std::string strLine = strHead.substr(nPos, nEol - nPos);
        nPos = nEol + 2;
        if (bFirst) {
            size_t s1 = strLine.find(' ');
            size_t s2 = strLine.rfind(' ');
            if (s1 == std::string::npos || s2 == s1) return false;
            rec.strMethod = strLine.substr(0, s1);
            rec.strTarget = strLine.substr(s1 + 1, s2 - s1 - 1);
            rec.strVersion = strLine.substr(s2 + 1);
            bFirst = false;
        } else {
            size_t nColon = strLine.find(':');
            if (nColon == std::string::npos) continue;
            size_t nValue = strLine.find_first_not_of(' ', nColon + 1);
            rec.headers.emplace_back(strLine.substr(0, nColon),
                                     nValue == std::string::npos ? std::string() : strLine.substr(nValue));
        }
    }
    return true;
}

// Produces the body bytes of an answer in order.
class CBodySource {
public:
    explicit CBodySource(const SHttpAnswer& a) : m_a(a) {
        m_nTotal = a.nRepeatTo ? a.nRepeatTo : a.strBody.size();
        if (m_a.strBody.empty()) m_nTotal = 0;
    }
    uint64_t Total() const { return m_nTotal; }
    uint64_t Sent() const { return m_nSent; }
    bool Done() const { return m_nSent >= m_nTotal; }
    // Up to nMax next bytes.
    std::string Next(size_t nMax) {
        std::string s;
        uint64_t nLeft = m_nTotal - m_nSent;
        size_t n = static_cast<size_t>(std::min<uint64_t>(nLeft, nMax));
        s.reserve(n);
        const std::string& b = m_a.strBody;
        while (s.size() < n) {
            size_t nOff = static_cast<size_t>(m_nSent % b.size());
            size_t nTake = std::min(n - s.size(), b.size() - nOff);
            s.append(b, nOff, nTake);
            m_nSent += nTake;
        }
        return s;
    }

private:
    const SHttpAnswer& m_a;
    uint64_t m_nTotal;
    uint64_t m_nSent = 0;
};

void SendAnswer(CConn& conn, const SHttpAnswer& a) {
    using EBody = SHttpAnswer::EBody;
    if (a.nStallBeforeStatusMs) {
        conn.Stall(a.nStallBeforeStatusMs);
        return;
    }
    CBodySource body(a);
    bool bEndless = a.nRepeatTo == SHttpAnswer::kEndless;
    bool bChunked = a.eBody == EBody::kChunked || a.eBody == EBody::kBadChunked;
    if (!a.strRawHead.empty()) {
        if (!conn.Send(a.strRawHead)) return;
    } else {
        std::string strHead = "HTTP/1.1 " + std::to_string(a.nStatus) + " " + a.strReason + "\r\n";
        strHead += "Connection: close\r\nContent-Type: text/html\r\n";
        for (const std::string& h : a.headers) strHead += h + "\r\n";
        if (a.eBody == EBody::kLength && !bEndless) strHead += "Content-Length: " + std::to_string(body.Total()) + "\r\n";
        if (bChunked) strHead += "Transfer-Encoding: chunked\r\n";
        strHead += "\r\n";
        if (!conn.Send(strHead)) return;
    }

    bool bStallDone = a.nStallMidBodyMs == 0;
    while (!body.Done()) {
        size_t nStep = 65536;
        if (a.nTrickleMs || bChunked) nStep = a.nTrickleMs ? 1 : 7;
        if (!bStallDone) {
            if (body.Sent() >= a.nStallAtByte) {
                conn.Stall(a.nStallMidBodyMs);
                bStallDone = true;
            } else {
                nStep = static_cast<size_t>(std::min<uint64_t>(nStep, a.nStallAtByte - body.Sent()));
            }
        }
        for (int64_t nCut : {a.nResetAtByte, a.nCloseAtByte}) {
            if (nCut >= 0 && static_cast<int64_t>(body.Sent()) < nCut)
                nStep = static_cast<size_t>(std::min<uint64_t>(nStep, static_cast<uint64_t>(nCut) - body.Sent()));
        }
        if (a.nResetAtByte >= 0 && static_cast<int64_t>(body.Sent()) == a.nResetAtByte) {
            conn.Reset();
            return;
        }
        if (a.nCloseAtByte >= 0 && static_cast<int64_t>(body.Sent()) == a.nCloseAtByte) {
            conn.Finish();
            return;
        }
        std::string strPart = body.Next(nStep);
        if (bChunked) {
            char szSize[32];
            std::snprintf(szSize, sizeof szSize, "%zx\r\n", strPart.size());
            std::string strChunk = a.eBody == EBody::kBadChunked ? "zz\r\n" : szSize;
            strPart = strChunk + strPart + "\r\n";
        }
        if (!conn.Send(strPart)) return;
        if (a.nTrickleMs) std::this_thread::sleep_for(std::chrono::milliseconds(a.nTrickleMs));
    }
    if (bChunked && !conn.Send("0\r\n\r\n")) return;
    conn.Finish();
}

}  // namespace

std::string SHttpRequestRecord::Header(const std::string& strName) const {
    for (const auto& h : headers) {
        if (EqualNoCase(h.first, strName)) return h.second;
    }
    return std::string();
}

bool SHttpRequestRecord::HasHeader(const std::string& strName) const {
    for (const auto& h : headers) {
        if (EqualNoCase(h.first, strName)) return true;
    }
    return false;
}

struct CTestHttpServer::STls {
    SSL_CTX* pCtx = nullptr;
    ~STls() {
        if (pCtx) SSL_CTX_free(pCtx);
    }
    // A fresh self-signed certificate for 127.0.0.1 that no client trusts.
    bool Make() {
        pCtx = SSL_CTX_new(TLS_server_method());
        if (!pCtx) return false;
        EVP_PKEY* pKey = EVP_EC_gen("P-256");
        X509* pCert = X509_new();
        bool bOk = pKey && pCert;
        if (bOk) {
            X509_set_version(pCert, 2);
            ASN1_INTEGER_set(X509_get_serialNumber(pCert), 1);
            X509_gmtime_adj(X509_getm_notBefore(pCert), -3600);
            X509_gmtime_adj(X509_getm_notAfter(pCert), 24 * 3600);
            X509_set_pubkey(pCert, pKey);
            X509_NAME* pName = X509_get_subject_name(pCert);
            X509_NAME_add_entry_by_txt(pName, "CN", MBSTRING_ASC,
                                       reinterpret_cast<const unsigned char*>("127.0.0.1"), -1, -1, 0);
            X509_set_issuer_name(pCert, pName);
            bOk = X509_sign(pCert, pKey, EVP_sha256()) > 0 && SSL_CTX_use_certificate(pCtx, pCert) == 1 &&
                  SSL_CTX_use_PrivateKey(pCtx, pKey) == 1;
        }
        X509_free(pCert);
        EVP_PKEY_free(pKey);
        return bOk;
    }
};

CTestHttpServer::~CTestHttpServer() { Stop(); }

bool CTestHttpServer::Start(bool bTls) {
    Stop();
    signal(SIGPIPE, SIG_IGN);  // a client that goes away must not end the test process
    m_bStop = false;
    m_bTls = bTls;
    if (bTls) {
        m_pTls = std::make_shared<STls>();
        if (!m_pTls->Make()) return false;
    }
    m_nListen = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_nListen < 0) return false;
    int nOne = 1;
    setsockopt(m_nListen, SOL_SOCKET, SO_REUSEADDR, &nOne, sizeof nOne);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    socklen_t nLen = sizeof addr;
    if (bind(m_nListen, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(m_nListen, 64) != 0 ||
        getsockname(m_nListen, reinterpret_cast<sockaddr*>(&addr), &nLen) != 0) {
        close(m_nListen);
        m_nListen = -1;
        return false;
    }
    m_nPort = ntohs(addr.sin_port);
    m_acceptThread = std::thread([this] { AcceptLoop(); });
    return true;
}

void CTestHttpServer::Stop() {
    m_bStop = true;
    if (m_acceptThread.joinable()) m_acceptThread.join();
    std::vector<SConnThread> threads;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        threads.swap(m_connThreads);
    }
    for (SConnThread& t : threads) t.thread.join();
    if (m_nListen >= 0) close(m_nListen);
    m_nListen = -1;
}

std::string CTestHttpServer::Url(const std::string& strPath) const {
    return std::string(m_bTls ? "https" : "http") + "://127.0.0.1:" + std::to_string(m_nPort) + strPath;
}

void CTestHttpServer::SetAnswer(const std::string& strPath, const SHttpAnswer& answer) {
    std::lock_guard<std::mutex> lock(m_lock);
    m_answers[strPath] = answer;
}

std::vector<SHttpRequestRecord> CTestHttpServer::Requests() const {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_requests;
}

std::vector<SHttpRequestRecord> CTestHttpServer::RequestsFor(const std::string& strPath) const {
    std::lock_guard<std::mutex> lock(m_lock);
    std::vector<SHttpRequestRecord> out;
    for (const auto& r : m_requests) {
        if (PathOf(r.strTarget) == strPath) out.push_back(r);
    }
    return out;
}

void CTestHttpServer::ClearRequests() {
    std::lock_guard<std::mutex> lock(m_lock);
    m_requests.clear();
}

void CTestHttpServer::AcceptLoop() {
    while (!m_bStop) {
        pollfd pfd{m_nListen, POLLIN, 0};
        if (poll(&pfd, 1, 50) <= 0) continue;
        int nSocket = accept4(m_nListen, nullptr, nullptr, SOCK_CLOEXEC);
        if (nSocket < 0) continue;
        ++m_nConnections;
        std::lock_guard<std::mutex> lock(m_lock);
        size_t nKept = 0;
        for (size_t i = 0; i < m_connThreads.size(); ++i) {
            if (*m_connThreads[i].pDone) {
                m_connThreads[i].thread.join();
            } else {
                if (i != nKept) m_connThreads[nKept] = std::move(m_connThreads[i]);
                ++nKept;
            }
        }
        m_connThreads.resize(nKept);
        SConnThread conn;
        conn.pDone = std::make_shared<std::atomic<bool>>(false);
        conn.thread = std::thread([this, nSocket, pDone = conn.pDone] {
            Serve(nSocket);
            *pDone = true;
        });
        m_connThreads.push_back(std::move(conn));
    }
}

void CTestHttpServer::Serve(int nSocket) {
    SSL* pSsl = nullptr;
    if (m_bTls) {
        timeval tv{5, 0};  // a client that never finishes the handshake
        setsockopt(nSocket, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
        pSsl = SSL_new(m_pTls->pCtx);
        SSL_set_fd(pSsl, nSocket);
        if (SSL_accept(pSsl) != 1) {
            ERR_clear_error();
            SSL_free(pSsl);
            close(nSocket);
            return;
        }
    }
    CConn conn(nSocket, pSsl, m_bStop);
    SHttpRequestRecord rec;
    if (!m_bTls && conn.WaitReadable(5000)) {
        // A TLS handshake sent to the plain server is recorded as such.
        unsigned char c = 0;
        if (recv(nSocket, &c, 1, MSG_PEEK) == 1 && c == 0x16) {
            rec.strMethod = "TLS-HELLO";
            std::lock_guard<std::mutex> lock(m_lock);
            m_requests.push_back(rec);
            return;
        }
    }
    if (!ReadRequest(conn, rec)) return;
    SHttpAnswer answer;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_requests.push_back(rec);
        auto it = m_answers.find(PathOf(rec.strTarget));
        if (it != m_answers.end()) {
            answer = it->second;
        } else {
            answer.nStatus = 404;
            answer.strReason = "Not Found";
            answer.strBody = "no answer set\n";
        }
    }
    SendAnswer(conn, answer);
}

#endif  // _WIN32
