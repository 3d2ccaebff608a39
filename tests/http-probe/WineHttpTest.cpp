// The page-request scenarios against the Windows build: its probe runs all of
// them in one Wine process against the loopback servers of this process.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <fstream>
#include <sstream>

#include "http-probe/PageHash.h"
#include "support/HttpScenarios.h"

namespace {

// Reads one "R ..." line of the probe into an outcome; the page is the
// expected one when its length and hash match.
bool ParseOutcome(const std::string& strLine, const SHttpScenario& sc, SFetchOutcome& out) {
    std::istringstream in(strLine);
    std::string strTag;
    size_t nLength = 0;
    uint64_t nHash = 0;
    int nFailure = -1;
    if (!(in >> strTag >> out.nStatus >> out.nElapsedMs >> out.tBefore >> out.tAfter >> nLength >> std::hex >> nHash >>
          std::dec >> nFailure) || strTag != "R")
        return false;
    out.eFailure = static_cast<platform::EHttpFailure>(nFailure);
    const std::string strExpected = ExpectedPage(sc);
    out.strPage = nHash == HashFnv1a(strExpected) && nLength == strExpected.size()
                      ? strExpected
                      : "(another page of " + std::to_string(nLength) + " bytes)";
    return true;
}

TEST(WindowsHttp, ScenariosUnderWine) {
    const std::string strProbe = std::string(VLM_WINDOWS_BUILD_DIR) + "/tests/HttpProbe.exe";
    SScenarioServers servers;
    ASSERT_TRUE(servers.Start());
    const std::string strInput = std::string(VLM_BINARY_DIR) + "/tests/http-wine-urls.txt";
    const std::string strOutput = std::string(VLM_BINARY_DIR) + "/tests/http-wine-results.txt";
    std::vector<SHttpScenario> scenarios;
    std::ofstream list(strInput, std::ios::binary);
    uint64_t nBoundMs = 120000;  // Wine's start, then every scenario's own bound
    for (const SHttpScenario& sc : MakeHttpScenarios(true)) {
        if (sc.bNativeOnly) continue;
        servers.Install(sc);
        scenarios.push_back(sc);
        list << servers.Expand(sc.strUrl) << "\n";
        nBoundMs += sc.nMaxMs;
    }
    list.close();
    std::string strCommand = "timeout " + std::to_string(nBoundMs / 1000) + " " + std::string(VLM_SOURCE_DIR) +
                             "/tools/wine-run.sh " + strProbe + " fetch " + std::to_string(kScenarioConnectMs) + " " +
                             std::to_string(kScenarioReceiveMs) + " < " + strInput + " > " + strOutput + " 2> " +
                             strOutput + ".err";
    const int nStatus = std::system(strCommand.c_str());
    const int nExit = WIFEXITED(nStatus) ? WEXITSTATUS(nStatus) : -1;  // 124: the bound ran out
    const std::string strProbeTrace = "probe exit " + std::to_string(nExit) + "\n" + strCommand + "\n" +
                                      ReadWholeFile(strOutput + ".err").substr(0, 4000);

    std::ifstream results(strOutput);
    std::string strLine;
    for (const SHttpScenario& sc : scenarios) {
        SFetchOutcome out;
        do strLine.clear();
        while (std::getline(results, strLine) && strLine.compare(0, 2, "R ") != 0);
        // A probe that hung or died names the scenario it did not finish.
        ASSERT_TRUE(ParseOutcome(strLine, sc, out))
            << sc.strName << " has no outcome [" << strLine << "], " << strProbeTrace;
        CheckScenario(sc, out, servers, "HttpProbe");
    }
    EXPECT_EQ(nExit, 0) << strProbeTrace;
}

}  // namespace
