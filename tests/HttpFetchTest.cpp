// Page requests of the Linux build against the loopback test server.
#ifndef _WIN32

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "http/PageFetcher.h"
#include "platform/Clock.h"
#include "platform/Http.h"
#include "support/HttpScenarios.h"
#include "support/TestSupport.h"

void PrintTo(const SHttpScenario& sc, std::ostream* os) { *os << sc.strName; }

namespace {

// The agent name comes from the stand-in executable of the test binary's
// home (VlmRefreshSvc).
class HttpFetch : public ::testing::TestWithParam<SHttpScenario> {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_servers.Start());
        m_env.m_timeouts = platform::SHttpTimeouts{kScenarioConnectMs, kScenarioReceiveMs};
    }
    void TearDown() override {
        unsetenv("SSL_CERT_FILE");
        unsetenv("SSL_CERT_DIR");
    }

    CTestEnv m_env;
    SScenarioServers m_servers;
};

TEST_P(HttpFetch, Scenario) {
    const SHttpScenario& sc = GetParam();
    m_servers.Install(sc);
    const std::string strCaDir = m_servers.caDir.Path();
    if (sc.strCaVariable == "SSL_CERT_FILE") setenv("SSL_CERT_FILE", (strCaDir + "ca.pem").c_str(), 1);
    if (sc.strCaVariable == "SSL_CERT_DIR") setenv("SSL_CERT_DIR", strCaDir.substr(0, strCaDir.size() - 1).c_str(), 1);
    SFetchOutcome out;
    int64_t tStart = SteadyMs();
    out.tBefore = GetClock().Now();
    out.nStatus = CPageFetcher().FetchPage(m_servers.Expand(sc.strUrl), out.strPage, &out.eFailure);
    out.tAfter = GetClock().Now();
    out.nElapsedMs = static_cast<uint32_t>(SteadyMs() - tStart);
    CheckScenario(sc, out, m_servers, "VlmRefreshSvc");
    EXPECT_TRUE(!sc.strUrl.empty() || m_servers.plain.ConnectionCount() + m_servers.tls.ConnectionCount() == 0)
        << "the empty address was fetched";
}

INSTANTIATE_TEST_SUITE_P(Linux, HttpFetch, ::testing::ValuesIn(MakeHttpScenarios()),
                         [](const ::testing::TestParamInfo<SHttpScenario>& info) { return info.param.strName; });

// The HTTP layer keeps its handle from one request to the next, never its
// connection: against a server that keeps the connection open, each request
// comes on a connection of its own, plain and secure.
TEST_F(HttpFetch, EveryRequestHasItsOwnConnection) {
    SHttpAnswer answer;
    answer.strHead = "HTTP/1.0 200 OK\r\nConnection: keep-alive\r\nContent-Length: 2\r\n\r\n";
    answer.strBody = "ok";
    answer.bKeepOpen = true;
    setenv("SSL_CERT_FILE", m_servers.caDir.File("ca.pem").c_str(), 1);
    for (CTestHttpServer* pServer : {&m_servers.plain, &m_servers.signedTls}) {
        pServer->SetAnswer("/kept", answer);
        for (int i = 0; i < 3; ++i) {
            std::string strPage;
            EXPECT_EQ(CPageFetcher().FetchPage(pServer->Url("/kept"), strPage), 200);
            EXPECT_EQ(strPage, "\r\nok");
        }
        EXPECT_EQ(pServer->RequestsFor("/kept").size(), 3u);
        EXPECT_EQ(pServer->ConnectionCount(), 3);
    }
}

// The abort flag ends an exchange as stopped, also after the status (the page
// then holds the lines ended so far); set before the request, nothing is sent.
TEST_F(HttpFetch, TheAbortFlagEndsTheExchangeAsStopped) {
    std::atomic<int32_t> bAbort{0};
    for (bool bBefore : {false, true}) {
        const std::string strPath = bBefore ? "/abort-before" : "/abort-body";
        m_servers.plain.SetAnswer(strPath, SHttpAnswer{"", "one\ntwo\nthree\n", 1, SHttpAnswer::kStallAt, 10, 10000});
        bAbort = bBefore;
        std::thread stopper([&] {  // 0.3 s after the request came, while the answer stalls
            WaitUntil([&] { return bAbort || !m_servers.plain.RequestsFor(strPath).empty(); }, 5000);
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            bAbort = 1;
        });
        std::string strPage = kUntouchedPage;
        platform::EHttpFailure eWhy = platform::kHttpFailNone;
        EXPECT_EQ(bBefore ? 0 : 200,
                  CPageFetcher(&bAbort).FetchPage(m_servers.Expand("{http}") + strPath, strPage, &eWhy));
        stopper.join();
        EXPECT_EQ(platform::kHttpFailStopped, eWhy) << strPath;
        EXPECT_EQ(bBefore ? kUntouchedPage : "\r\none\r\ntwo", strPage) << strPath;
        EXPECT_EQ(bBefore ? 0u : 1u, m_servers.plain.RequestsFor(strPath).size());
    }
}

// tinyproxy on a loopback port of its own, with its own settings and log in
// a temporary directory; stopped when the object goes.
class CTinyproxy {
public:
    ~CTinyproxy() {
        if (m_pid <= 0) return;
        kill(m_pid, SIGTERM);
        WaitChild(m_pid, 2000);
    }

    // True once it accepts connections (at most 5 s).
    bool Start() {
        const std::string strConf = m_dir.File("tinyproxy.conf");
        WriteWholeFile(strConf, "Port " + std::to_string(m_nPort) + "\nListen 127.0.0.1\nTimeout 10\nMaxClients 16\n"
                                "Allow 127.0.0.1\nLogLevel Info\nLogFile \"" + LogPath() + "\"\n");
        m_pid = fork();
        if (m_pid == 0) {
            execl("/usr/bin/tinyproxy", "tinyproxy", "-d", "-c", strConf.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        // It logs this once it listens.
        return WaitUntil([&] { return ReadWholeFile(LogPath()).find("Accepting connections") != std::string::npos; },
                         5000);
    }

    std::string Url() const { return "http://127.0.0.1:" + std::to_string(m_nPort); }
    std::string LogPath() const { return m_dir.File("tinyproxy.log"); }

private:
    CTempDir m_dir;
    pid_t m_pid = -1;
    uint16_t m_nPort = FreeLoopbackPort();
};

// Requests through a real proxy: plain requests are forwarded (the origin
// sees the proxy's Via line), secure ones tunnelled with CONNECT (the proxy's
// log names the origin). Only the origin's answer gives a status: a tunnel to
// an origin whose certificate is not trusted, whose name does not match it or
// whose port is closed gives 0, whatever the proxy answered to CONNECT.
TEST(HttpProxy, ThroughTinyproxy) {
    ASSERT_EQ(0, access("/usr/bin/tinyproxy", X_OK)) << "tinyproxy is missing (tools/install-deps.sh installs it)";
    SScenarioServers servers;
    ASSERT_TRUE(servers.Start());
    CTinyproxy proxy;
    ASSERT_TRUE(proxy.Start()) << ReadWholeFile(proxy.LogPath());
    CTestEnv env;
    env.m_timeouts = platform::SHttpTimeouts{kScenarioConnectMs, kScenarioReceiveMs};
    setenv("http_proxy", proxy.Url().c_str(), 1);
    setenv("https_proxy", proxy.Url().c_str(), 1);
    setenv("no_proxy", "", 1);  // 127.0.0.1 must not bypass the proxy
    setenv("NO_PROXY", "", 1);

    SHttpAnswer page;
    page.strBody = "proxied\n";
    servers.plain.SetAnswer("/proxied", page);
    servers.signedTls.SetAnswer("/proxied", page);
    const struct { const char* szName; std::string strUrl; bool bTrustCa; int nStatus; } cases[] = {
        {"plain", "{http}/proxied", false, 200}, {"secure, trusted", "{signed}/proxied", true, 200},
        {"secure, CA not trusted", "{signed}/proxied", false, 0},
        {"secure, other host name", "https://localhost:{signedport}/proxied", true, 0},
        {"secure, closed port", "https://127.0.0.1:" + std::to_string(servers.nRefusedPort) + "/proxied", true, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.szName);
        if (c.bTrustCa) setenv("SSL_CERT_FILE", servers.caDir.File("ca.pem").c_str(), 1);
        std::string strUrl = servers.Expand(c.strUrl);
        std::string strPage = kUntouchedPage;
        EXPECT_EQ(CPageFetcher().FetchPage(strUrl, strPage), c.nStatus);
        EXPECT_EQ(strPage, c.nStatus ? std::string("\r\nproxied") : std::string(kUntouchedPage));
        unsetenv("SSL_CERT_FILE");
        if (strUrl.compare(0, 8, "https://") == 0) {
            // The tunnel went through the proxy: its log names the origin.
            std::string strOrigin = strUrl.substr(8, strUrl.find('/', 8) - 8);
            EXPECT_NE(ReadWholeFile(proxy.LogPath()).find("CONNECT " + strOrigin), std::string::npos) << strOrigin;
        } else {
            std::vector<SHttpRequestRecord> reqs = servers.plain.RequestsFor("/proxied");
            ASSERT_EQ(reqs.size(), 1u);
            EXPECT_NE(reqs[0].Header("Via").find("tinyproxy"), std::string::npos) << reqs[0].Header("Via");
        }
    }
    EXPECT_EQ(servers.signedTls.RequestsFor("/proxied").size(), 1u);  // only the trusted one came through
    for (const char* szVariable : {"http_proxy", "https_proxy", "no_proxy", "NO_PROXY"}) unsetenv(szVariable);
}

}  // namespace

#endif  // _WIN32
