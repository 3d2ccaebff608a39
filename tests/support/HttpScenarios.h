// The page-request scenarios that both builds go through: the native test
// runs them in-process, the Wine test runs them through the Windows probe.
// Each names its route on the test server, the address to fetch, and what
// must come back (result, page text, time bound, requests seen).
#pragma once

#ifndef _WIN32

#include <cstdint>
#include <string>
#include <vector>

#include "platform/Http.h"
#include "support/TestHttpServer.h"

// Time-outs the scenarios run with (connect, receive), in milliseconds.
constexpr uint32_t kScenarioConnectMs = 3000;
constexpr uint32_t kScenarioReceiveMs = 1500;
// What the page text holds before a fetch; a result of 0 must leave it.
extern const char kUntouchedPage[];

struct SHttpScenario {
    std::string strName;
    std::string strPath;     // route on the server ("" when none is set)
    SHttpAnswer answer;
    // Address; "{http}", "{https}", "{signed}", "{refused}" and "{blackhole}"
    // stand for the bases of the plain server, the self-signed TLS server, the
    // TLS server with the test CA's certificate, a port nobody listens on and
    // one whose connections never complete; "{plainport}" and "{signedport}"
    // for the ports of the plain and the CA-signed server. A route of an
    // address on "{signed}" is set on that server.
    std::string strUrl;
    int nStatus = 200;
    std::string strPage;      // expected page text (kUntouchedPage for result 0)
    size_t nPageRepeat = 1;   // the page text is strPage repeated this often
    uint32_t nMaxMs = 4000;   // the fetch ends within this
    uint32_t nMinMs = 0;      // and not before this
    // Requests recorded for strPath; the target expected for the first one is
    // strTarget followed by the cache-busting parameter.
    int nRequests = 1;
    std::string strTarget;
    bool bTlsHello = false;   // the plain server must see a TLS handshake instead
    std::vector<std::string> alsoRequested;  // paths that must have seen one request
    bool bRouteOnly = false;  // only sets a route that another scenario reaches
    bool bNativeOnly = false; // Wine does not apply the connect time-out
    // "SSL_CERT_FILE" or "SSL_CERT_DIR": that variable names the test CA
    // (its file or its directory) during the fetch.
    std::string strCaVariable;
    // Why a fetch with result 0 got no status.
    platform::EHttpFailure eFailure = platform::kHttpFailNone;
};

struct SFetchOutcome {
    int nStatus = 0;
    std::string strPage;
    uint32_t nElapsedMs = 0;
    platform::EHttpFailure eFailure = platform::kHttpFailNone;
    int64_t tBefore = 0;  // clock seconds around the fetch
    int64_t tAfter = 0;
};

struct SScenarioServers {
    CTestHttpServer plain;
    CTestHttpServer tls;
    CTestHttpServer signedTls;  // certificate signed by the test CA
    std::string strCaDir;       // the test CA's certificate (a temporary directory, ending in '/')
    uint16_t nRefusedPort = 0;
    // A listener whose queue is full: connecting to it hangs until the
    // client's connect time-out.
    int nBlackholeListen = -1;
    int nBlackholeFill = -1;
    uint16_t nBlackholePort = 0;
    ~SScenarioServers();
    bool Start();
    std::string Expand(const std::string& strUrl) const;
    // The server that holds the scenario's route.
    CTestHttpServer& RouteServer(const SHttpScenario& sc);
    const CTestHttpServer& RouteServer(const SHttpScenario& sc) const;
    // The value of sc.strCaVariable for the test CA.
    std::string CaLocation(const SHttpScenario& sc) const;
};

std::vector<SHttpScenario> MakeHttpScenarios();
// Sets every scenario's route on the servers.
void InstallScenarios(SScenarioServers& servers, const std::vector<SHttpScenario>& scenarios);
// The page text a scenario must give.
std::string ExpectedPage(const SHttpScenario& sc);
// Checks one outcome and the requests the servers recorded for it (gtest
// expectations; strAgent is the agent name the fetching program sends).
void CheckScenario(const SHttpScenario& sc, const SFetchOutcome& out, const SScenarioServers& servers,
                   const std::string& strAgent);

#endif  // _WIN32
