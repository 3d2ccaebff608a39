// The page-request scenarios that both builds go through: the native test
// runs them in-process, the Wine test runs them through the Windows probe.
// Each names the address to fetch, the answer the test server gives on its
// route, and what must come back (result, page text, time bounds, requests
// seen).
#pragma once

#ifndef _WIN32

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "http-probe/PageHash.h"
#include "platform/Http.h"
#include "support/TestHttpServer.h"
#include "support/TestSupport.h"

// Time-outs the scenarios run with (connect, receive), in milliseconds.
constexpr uint32_t kScenarioConnectMs = 3000;
constexpr uint32_t kScenarioReceiveMs = 1500;

struct SHttpScenario {
    std::string strName;
    // Address; "{http}", "{https}", "{signed}", "{refused}" and "{blackhole}"
    // stand for the bases of the plain server, the self-signed TLS server, the
    // TLS server with the test CA's certificate, a port nobody listens on and
    // one whose connections never complete; "{plainport}" and "{signedport}"
    // for the ports of the plain and the CA-signed server. The route of an
    // address on "{signed}" is set on that server, else on the plain one.
    std::string strUrl;
    std::string strPath;  // route of the answer ("" when none is set)
    SHttpAnswer answer;
    int nStatus = 200;
    platform::EHttpFailure eFailure = platform::kHttpFailNone;  // why a result of 0 got no status
    std::string strPage;     // expected page text (kUntouchedPage for result 0)
    size_t nPageRepeat = 1;  // the page text is strPage repeated this often
    uint32_t nMinMs = 0;     // the fetch ends not before this
    uint32_t nMaxMs = 4000;  // and within this
    // Requests recorded for strPath; the target expected for the first one is
    // strTarget followed by the cache-busting parameter.
    int nRequests = 1;
    std::string strTarget;
    // Routes of the plain server the answer leads on to; each must see one request.
    std::vector<std::pair<std::string, SHttpAnswer>> leadsTo;
    bool bNativeOnly = false;  // Wine does not apply the CA variables
    // "SSL_CERT_FILE" or "SSL_CERT_DIR": that variable names the test CA
    // (its file or its directory) during the fetch.
    std::string strCaVariable;
};

struct SFetchOutcome {
    int nStatus = 0;
    std::string strPage = kUntouchedPage;
    uint32_t nElapsedMs = 0;
    platform::EHttpFailure eFailure = platform::kHttpFailNone;
    int64_t tBefore = 0;  // clock seconds around the fetch
    int64_t tAfter = 0;
};

struct SScenarioServers {
    CTestHttpServer plain;
    CTestHttpServer tls;
    CTestHttpServer signedTls;  // certificate signed by the test CA
    CTempDir caDir;             // the test CA's certificate
    uint16_t nRefusedPort = 0;
    // A listener whose queue is full: connecting to it hangs until the
    // client's connect time-out.
    int nBlackholeListen = -1;
    int nBlackholeFill = -1;
    uint16_t nBlackholePort = 0;
    ~SScenarioServers();
    bool Start();
    std::string Expand(const std::string& strUrl) const;
    // Sets the scenario's routes.
    void Install(const SHttpScenario& sc);
};

// bUnderWine: as the Windows build gives them under Wine, where its layer
// reads an answer otherwise.
std::vector<SHttpScenario> MakeHttpScenarios(bool bUnderWine = false);
// The page text a scenario must give.
std::string ExpectedPage(const SHttpScenario& sc);
// Checks one outcome and the requests the servers recorded for it (gtest
// expectations; strAgent is the agent name the fetching program sends).
void CheckScenario(const SHttpScenario& sc, const SFetchOutcome& out, const SScenarioServers& servers,
                   const std::string& strAgent);

#endif  // _WIN32
