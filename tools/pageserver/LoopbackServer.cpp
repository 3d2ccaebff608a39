#ifndef _WIN32

#include "pageserver/LoopbackServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>
#include <poll.h>
#include <signal.h>
#include <strings.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <sstream>

namespace {

using SteadyClock = std::chrono::steady_clock;

std::string PathOf(const std::string& strTarget) { return strTarget.substr(0, strTarget.find('?')); }

// One accepted plain connection.
class CConn {
public:
    // pSsl: the connection speaks TLS through it (owned from now on).
    CConn(int nSocket, const std::atomic<bool>& bStop, SSL* pSsl = nullptr)
        : m_nSocket(nSocket), m_bStop(bStop), m_pSsl(pSsl) {}
    ~CConn() {
        if (m_pSsl) SSL_free(m_pSsl);
        if (m_nSocket >= 0) close(m_nSocket);
    }

    bool Send(const char* p, size_t n) {
        while (n > 0) {
            ssize_t nSent = m_bStop ? -1
                            : m_pSsl ? SSL_write(m_pSsl, p, static_cast<int>(std::min<size_t>(n, 1 << 20)))
                                     : send(m_nSocket, p, n, MSG_NOSIGNAL);
            if (nSent <= 0) return false;
            p += nSent;
            n -= static_cast<size_t>(nSent);
        }
        return true;
    }
    bool Send(const std::string& s) { return Send(s.data(), s.size()); }

    // Waits until data can be read, for at most nMs; false on time-out or stop.
    bool WaitReadable(uint32_t nMs) {
        auto tEnd = SteadyClock::now() + std::chrono::milliseconds(nMs);
        while (!m_bStop && SteadyClock::now() < tEnd) {
            if (m_pSsl && SSL_pending(m_pSsl) > 0) return true;
            pollfd pfd{m_nSocket, POLLIN, 0};
            if (poll(&pfd, 1, 50) > 0) return true;
        }
        return false;
    }

    int Recv(char* p, size_t n) {
        if (m_pSsl) return SSL_read(m_pSsl, p, static_cast<int>(n));
        return static_cast<int>(recv(m_nSocket, p, n, 0));
    }

    // Sleeps for nMs, ending early when the peer closes or the server stops;
    // stray bytes after the request are read and dropped.
    void Stall(uint32_t nMs) {
        auto tEnd = SteadyClock::now() + std::chrono::milliseconds(nMs);
        while (!m_bStop && SteadyClock::now() < tEnd) {
            pollfd pfd{m_nSocket, POLLIN, 0};
            char c;
            if (poll(&pfd, 1, 50) <= 0) continue;
            if (recv(m_nSocket, &c, 1, MSG_DONTWAIT) == 0 || (pfd.revents & (POLLHUP | POLLERR))) return;
        }
    }

    void Reset() {
        linger lin{1, 0};
        setsockopt(m_nSocket, SOL_SOCKET, SO_LINGER, &lin, sizeof lin);
        close(m_nSocket);
        m_nSocket = -1;
    }

    void Finish() {
        if (m_pSsl) SSL_shutdown(m_pSsl);
        shutdown(m_nSocket, SHUT_WR);
        Stall(2000);  // the client reads to the end before the socket goes
    }

private:
    int m_nSocket;
    const std::atomic<bool>& m_bStop;
    SSL* m_pSsl;
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
    std::istringstream in(strHead.substr(0, strHead.find("\r\n\r\n")));
    std::string strLine;
    if (!(in >> rec.strMethod >> rec.strTarget >> rec.strVersion)) return false;
    std::getline(in, strLine);
    while (std::getline(in, strLine)) {
        if (!strLine.empty() && strLine.back() == '\r') strLine.pop_back();
        size_t nColon = strLine.find(':');
        if (nColon == std::string::npos) continue;
        size_t nValue = strLine.find_first_not_of(' ', nColon + 1);
        rec.headers.emplace_back(strLine.substr(0, nColon),
                                 nValue == std::string::npos ? std::string() : strLine.substr(nValue));
    }
    return true;
}

// Body bytes nFrom to nTo of strBody repeated; false when the client went.
bool SendBody(CConn& conn, const SHttpAnswer& a, uint64_t nFrom, uint64_t nTo) {
    const std::string& b = a.strBody;
    while (nFrom < nTo) {
        size_t nOff = static_cast<size_t>(nFrom % b.size());
        size_t nTake = a.eFault == SHttpAnswer::kTrickle ? 1 : std::min<size_t>(b.size() - nOff, 65536);
        nTake = static_cast<size_t>(std::min<uint64_t>(nTake, nTo - nFrom));
        if (!conn.Send(b.data() + nOff, nTake)) return false;
        nFrom += nTake;
        if (a.eFault == SHttpAnswer::kTrickle) std::this_thread::sleep_for(std::chrono::milliseconds(a.nMs));
    }
    return true;
}

// fnWhole is called once every byte of the answer went out.
void SendAnswer(CConn& conn, const SHttpAnswer& a, const std::function<void()>& fnWhole) {
    if (a.eFault == SHttpAnswer::kStallFirst) return conn.Stall(a.nMs);
    uint64_t nTotal = a.strBody.empty() ? 0 : a.nRepeat ? a.strBody.size() * a.nRepeat : UINT64_MAX;
    std::string strHead = a.strHead;
    if (strHead.empty())
        strHead = "HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Type: text/html\r\nContent-Length: " +
                  std::to_string(nTotal) + "\r\n\r\n";
    bool bCut = a.eFault == SHttpAnswer::kStallAt || a.eFault == SHttpAnswer::kResetAt ||
                a.eFault == SHttpAnswer::kCloseAt;
    uint64_t nCut = bCut ? std::min(a.nAt, nTotal) : nTotal;
    if (!conn.Send(strHead) || !SendBody(conn, a, 0, nCut)) return;
    if (a.eFault == SHttpAnswer::kResetAt) {
        // The reset drops what the client has not read yet: let it read first.
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        return conn.Reset();
    }
    if (a.eFault == SHttpAnswer::kStallAt) {
        conn.Stall(a.nMs);
        if (!SendBody(conn, a, nCut, nTotal)) return;
    }
    if (a.eFault != SHttpAnswer::kCloseAt || nCut == nTotal) fnWhole();
    if (!a.bKeepOpen) conn.Finish();
}

}  // namespace

std::string SHttpRequestRecord::Header(const std::string& strName) const {
    for (const auto& h : headers) {
        if (strcasecmp(h.first.c_str(), strName.c_str()) == 0) return h.second;
    }
    return std::string();
}

struct CLoopbackServer::STls {
    SSL_CTX* pCtx = nullptr;
    bool bServes = false;  // the certificate is signed by a CA that clients may be given
    ~STls() {
        if (pCtx) SSL_CTX_free(pCtx);
    }

    static X509* NewCertificate(EVP_PKEY* pKey, const char* szName, long nSerial) {
        X509* pCert = X509_new();
        X509_set_version(pCert, 2);
        ASN1_INTEGER_set(X509_get_serialNumber(pCert), nSerial);
        X509_gmtime_adj(X509_getm_notBefore(pCert), -3600);
        X509_gmtime_adj(X509_getm_notAfter(pCert), 24 * 3600);
        X509_set_pubkey(pCert, pKey);
        X509_NAME_add_entry_by_txt(X509_get_subject_name(pCert), "CN", MBSTRING_ASC,
                                   reinterpret_cast<const unsigned char*>(szName), -1, -1, 0);
        return pCert;
    }

    static bool AddExtension(X509* pCert, X509* pIssuer, int nNid, const char* szValue) {
        X509V3_CTX ctx;
        X509V3_set_ctx_nodb(&ctx);
        X509V3_set_ctx(&ctx, pIssuer, pCert, nullptr, nullptr, 0);
        X509_EXTENSION* pExt = X509V3_EXT_conf_nid(nullptr, &ctx, nNid, szValue);
        bool bOk = pExt && X509_add_ext(pCert, pExt, -1) == 1;
        X509_EXTENSION_free(pExt);
        return bOk;
    }

    // A fresh certificate for 127.0.0.1: self-signed, so that no client
    // trusts it, or (strCaDir not empty) signed by a CA made now, whose
    // certificate is written to strCaDir as ca.pem and as <subject hash>.0.
    bool Make(const std::string& strCaDir) {
        pCtx = SSL_CTX_new(TLS_server_method());
        if (!pCtx) return false;
        EVP_PKEY* pKey = EVP_EC_gen("P-256");
        X509* pCert = pKey ? NewCertificate(pKey, "127.0.0.1", 1) : nullptr;
        bool bOk = pCert && AddExtension(pCert, pCert, NID_subject_alt_name, "IP:127.0.0.1");
        if (bOk && strCaDir.empty()) {
            X509_set_issuer_name(pCert, X509_get_subject_name(pCert));
            bOk = X509_sign(pCert, pKey, EVP_sha256()) > 0;
        } else if (bOk) {
            EVP_PKEY* pCaKey = EVP_EC_gen("P-256");
            X509* pCa = pCaKey ? NewCertificate(pCaKey, "VlmRefresh test CA", 2) : nullptr;
            bOk = pCa && AddExtension(pCa, pCa, NID_basic_constraints, "critical,CA:TRUE") &&
                  AddExtension(pCa, pCa, NID_key_usage, "critical,keyCertSign,cRLSign");
            if (bOk) {
                X509_set_issuer_name(pCa, X509_get_subject_name(pCa));
                X509_set_issuer_name(pCert, X509_get_subject_name(pCa));
                bOk = X509_sign(pCa, pCaKey, EVP_sha256()) > 0 && X509_sign(pCert, pCaKey, EVP_sha256()) > 0;
            }
            char szHash[16];
            std::snprintf(szHash, sizeof szHash, "%08lx", bOk ? X509_subject_name_hash(pCa) : 0UL);
            for (const std::string& strName : {std::string("ca.pem"), std::string(szHash) + ".0"}) {
                FILE* pFile = bOk ? std::fopen((strCaDir + strName).c_str(), "w") : nullptr;
                bOk = pFile && PEM_write_X509(pFile, pCa) == 1;
                if (pFile) std::fclose(pFile);
            }
            X509_free(pCa);
            EVP_PKEY_free(pCaKey);
            bServes = bOk;
        }
        bOk = bOk && SSL_CTX_use_certificate(pCtx, pCert) == 1 && SSL_CTX_use_PrivateKey(pCtx, pKey) == 1;
        X509_free(pCert);
        EVP_PKEY_free(pKey);
        return bOk;
    }
};

bool CLoopbackServer::Start(bool bTls) { return Start(bTls, std::string()); }

bool CLoopbackServer::StartWithCa(const std::string& strCaDir) { return Start(true, strCaDir); }

bool CLoopbackServer::Start(bool bTls, const std::string& strCaDir) {
    Stop();
    signal(SIGPIPE, SIG_IGN);  // a client that goes away must not end the test process
    m_bStop = false;
    m_pTls.reset();
    if (bTls) {
        m_pTls = std::make_shared<STls>();
        if (!m_pTls->Make(strCaDir)) return false;
    }
    m_nListen = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_nListen < 0) return false;
    int nOne = 1;
    setsockopt(m_nListen, SOL_SOCKET, SO_REUSEADDR, &nOne, sizeof nOne);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
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

void CLoopbackServer::Stop() {
    m_bStop = true;
    if (m_acceptThread.joinable()) m_acceptThread.join();
    std::vector<std::thread> threads;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        threads.swap(m_connThreads);
    }
    for (std::thread& t : threads) t.join();
    if (m_nListen >= 0) close(m_nListen);
    m_nListen = -1;
}

std::string CLoopbackServer::Url(const std::string& strPath) const {
    return std::string(m_pTls ? "https" : "http") + "://127.0.0.1:" + std::to_string(m_nPort) + strPath;
}

void CLoopbackServer::SetAnswer(const std::string& strPath, const SHttpAnswer& answer) {
    std::lock_guard<std::mutex> lock(m_lock);
    m_answers[strPath] = answer;
}

void CLoopbackServer::SetDefaultAnswer(const SHttpAnswer& answer) {
    std::lock_guard<std::mutex> lock(m_lock);
    m_pDefault.reset(new SHttpAnswer(answer));
}

std::vector<SHttpRequestRecord> CLoopbackServer::Requests() const {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_requests;
}

std::vector<SHttpRequestRecord> CLoopbackServer::RequestsFor(const std::string& strPath) const {
    std::lock_guard<std::mutex> lock(m_lock);
    std::vector<SHttpRequestRecord> out;
    for (const auto& r : m_requests) {
        if (PathOf(r.strTarget) == strPath) out.push_back(r);
    }
    return out;
}

void CLoopbackServer::AcceptLoop() {
    while (!m_bStop) {
        pollfd pfd{m_nListen, POLLIN, 0};
        if (poll(&pfd, 1, 50) <= 0) continue;
        int nSocket = accept4(m_nListen, nullptr, nullptr, SOCK_CLOEXEC);
        if (nSocket < 0) continue;
        ++m_nConnections;
        std::lock_guard<std::mutex> lock(m_lock);
        m_connThreads.emplace_back([this, nSocket] { Serve(nSocket); });
    }
}

void CLoopbackServer::Serve(int nSocket) {
    SHttpRequestRecord rec;
    SSL* pServing = nullptr;
    if (m_pTls && m_pTls->bServes) {
        timeval tv{5, 0};  // a client that never finishes the handshake
        setsockopt(nSocket, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
        pServing = SSL_new(m_pTls->pCtx);
        SSL_set_fd(pServing, nSocket);
        if (SSL_accept(pServing) != 1) {
            ERR_clear_error();
            SSL_free(pServing);
            close(nSocket);
            return;
        }
    } else if (m_pTls) {
        // No client may accept the certificate: a request that comes through
        // the handshake is recorded (method "TLS-ACCEPTED") and not answered.
        // (A client may finish the handshake before it judges the certificate.)
        timeval tv{5, 0};  // a client that sends nothing
        setsockopt(nSocket, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
        SSL* pSsl = SSL_new(m_pTls->pCtx);
        SSL_set_fd(pSsl, nSocket);
        char c;
        if (SSL_accept(pSsl) == 1 && SSL_read(pSsl, &c, 1) == 1) {
            rec.strMethod = "TLS-ACCEPTED";
            std::lock_guard<std::mutex> lock(m_lock);
            m_requests.push_back(rec);
        }
        ERR_clear_error();
        SSL_free(pSsl);
        close(nSocket);
        return;
    }
    CConn conn(nSocket, m_bStop, pServing);
    if (!pServing && conn.WaitReadable(5000)) {
        // A TLS handshake sent to the plain server is recorded as such.
        unsigned char c = 0;
        if (recv(nSocket, &c, 1, MSG_PEEK) == 1 && c == 0x16) {
            rec.strMethod = "TLS-HELLO";
            std::lock_guard<std::mutex> lock(m_lock);
            m_requests.push_back(rec);
            return;
        }
    }
    // Requests on this connection until an answer that closes it.
    for (;;) {
        if (!ReadRequest(conn, rec)) return;
        SHttpAnswer answer;
        size_t nIndex;
        {
            std::lock_guard<std::mutex> lock(m_lock);
            nIndex = m_requests.size();
            m_requests.push_back(rec);
            auto it = m_answers.find(PathOf(rec.strTarget));
            if (it != m_answers.end()) {
                answer = it->second;
            } else if (m_pDefault) {
                answer = *m_pDefault;
            } else {
                answer.strHead = "HTTP/1.1 404 Not Found\r\nConnection: close\r\n\r\n";
            }
        }
        const std::string strNumber = std::to_string(nIndex + 1);
        for (size_t nAt = 0; (nAt = answer.strBody.find("{n}", nAt)) != std::string::npos; nAt += strNumber.size())
            answer.strBody.replace(nAt, 3, strNumber);
        SendAnswer(conn, answer, [this, nIndex] {
            std::lock_guard<std::mutex> lock(m_lock);
            m_requests[nIndex].bAnsweredWhole = true;
        });
        if (!answer.bKeepOpen || m_bStop) return;
        rec = SHttpRequestRecord();
    }
}

#endif  // _WIN32
