// The page-request scenarios against the Windows build: its probe runs all of
// them in one Wine process against the loopback servers of this process.
#include <gtest/gtest.h>

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
    ASSERT_TRUE(std::ifstream(strProbe).good()) << "build the windows preset first: " << strProbe;
    SScenarioServers servers;
    ASSERT_TRUE(servers.Start());
    const std::string strInput = std::string(VLM_BINARY_DIR) + "/tests/http-wine-urls.txt";
    const std::string strOutput = std::string(VLM_BINARY_DIR) + "/tests/http-wine-results.txt";
    std::vector<SHttpScenario> scenarios;
    std::ofstream list(strInput, std::ios::binary);
    for (const SHttpScenario& sc : MakeHttpScenarios()) {
        if (sc.bNativeOnly) continue;
        servers.Install(sc);
        scenarios.push_back(sc);
        list << servers.Expand(sc.strUrl) << "\n";
    }
    list.close();
    // The whole run is bounded; each scenario's own bound is checked below.
    std::string strCommand = "timeout 600 " + std::string(VLM_SOURCE_DIR) + "/tools/wine-run.sh " + strProbe +
                             " fetch " + std::to_string(kScenarioConnectMs) + " " +
                             std::to_string(kScenarioReceiveMs) + " < " + strInput + " > " + strOutput;
    ASSERT_EQ(std::system(strCommand.c_str()), 0) << strCommand;

    std::ifstream results(strOutput);
    std::string strLine;
    for (const SHttpScenario& sc : scenarios) {
        SFetchOutcome out;
        do strLine.clear();
        while (std::getline(results, strLine) && strLine.compare(0, 2, "R ") != 0);
        ASSERT_TRUE(ParseOutcome(strLine, sc, out)) << sc.strName << ": " << strLine;
        CheckScenario(sc, out, servers, "HttpProbe");
    }
}

}  // namespace
