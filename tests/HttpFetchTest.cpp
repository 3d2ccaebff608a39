// Page requests of the Linux build against the loopback test server.
#ifndef _WIN32

#include <gtest/gtest.h>

#include "http/PageFetcher.h"
#include "platform/Clock.h"
#include "platform/Http.h"
#include "support/HttpScenarios.h"
#include "support/TestSupport.h"

void PrintTo(const SHttpScenario& sc, std::ostream* os) { *os << sc.strName; }

namespace {

class HttpFetch : public ::testing::TestWithParam<SHttpScenario> {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_servers.Start());
        platform::SetHttpTimeouts(kScenarioConnectMs, kScenarioReceiveMs);
    }
    void TearDown() override { platform::SetHttpTimeouts(0, 0); }

    SScenarioServers m_servers;
    // The agent name comes from this stand-in executable.
    CModuleDirOverride m_home{TestHomeDir()};
};

TEST_P(HttpFetch, Scenario) {
    const SHttpScenario& sc = GetParam();
    InstallScenarios(m_servers, MakeHttpScenarios());
    SFetchOutcome out;
    out.strPage = kUntouchedPage;
    int64_t tStart = SteadyMs();
    out.tBefore = GetClock().Now();
    out.nStatus = CPageFetcher().FetchPage(m_servers.Expand(sc.strUrl), out.strPage);
    out.tAfter = GetClock().Now();
    out.nElapsedMs = static_cast<uint32_t>(SteadyMs() - tStart);
    // The test binary stands beside a stand-in executable of this name.
    CheckScenario(sc, out, m_servers, "VlmRefreshSvc");
    if (sc.strUrl.empty()) {
        EXPECT_EQ(m_servers.plain.ConnectionCount() + m_servers.tls.ConnectionCount(), 0);
    }
}

std::vector<SHttpScenario> FetchedScenarios() {
    std::vector<SHttpScenario> v;
    for (const SHttpScenario& sc : MakeHttpScenarios()) {
        if (!sc.bRouteOnly) v.push_back(sc);
    }
    return v;
}

INSTANTIATE_TEST_SUITE_P(Linux, HttpFetch, ::testing::ValuesIn(FetchedScenarios()),
                         [](const ::testing::TestParamInfo<SHttpScenario>& info) { return info.param.strName; });

}  // namespace

#endif  // _WIN32
