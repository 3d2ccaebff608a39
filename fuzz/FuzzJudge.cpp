// ReplaceTagContent and JudgeAnswer on any answer and status. The first byte
// picks the status; the logs go to a temporary directory.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "fuzz/FuzzCheck.h"
#include "http/CharSet.h"
#include "log/LogWriter.h"
#include "platform/Platform.h"
#include "refresh/Judge.h"
#include "tests/support/TestEnv.h"

namespace {

// The log files go to a temporary directory, removed when the run ends.
struct CFuzzHome {
    std::string m_strDir;
    CTestEnv m_env;
    CFuzzHome() {
        char szDir[] = "/tmp/vlm-fuzz-judge.XXXXXX";
        const char* pDir = mkdtemp(szDir);
        FUZZ_CHECK(pDir != nullptr);
        m_strDir = pDir;
        m_env.m_strExecutable = m_strDir + "/VlmRefreshSvc";
    }
    ~CFuzzHome() {
        std::error_code ec;
        std::filesystem::remove_all(m_strDir, ec);
    }
};

CLogWriter& GetLogWriter() {
    static CFuzzHome s_home;
    static CLogWriter s_writer;
    return s_writer;
}

void CheckReplace(const std::string& strText) {
    const std::string strStart = "<script ", strEnd = "</script>", strCut = ">";
    size_t e = strText.find(strEnd);
    std::string strOut = strText;
    ReplaceTagContent(strOut, strStart, strEnd, strCut);
    if (e == std::string::npos) {
        FUZZ_CHECK(strOut == strText);
        return;
    }
    // Whatever came before the cut stays, and the text from the end tag on
    // closes the result.
    std::string strTail = strText.substr(e);
    FUZZ_CHECK(strOut.size() >= strTail.size() + strCut.size());
    FUZZ_CHECK(strOut.compare(strOut.size() - strTail.size(), strTail.size(), strTail) == 0);
    size_t nHead = strOut.size() - strTail.size() - strCut.size();
    FUZZ_CHECK(strOut.compare(nHead, strCut.size(), strCut) == 0);
    FUZZ_CHECK(nHead >= strStart.size() && strOut.compare(nHead - strStart.size(), strStart.size(), strStart) == 0);
    size_t s = strText.find(strStart);
    if (s != std::string::npos) FUZZ_CHECK(nHead == s + strStart.size());
    else FUZZ_CHECK(nHead == e + strStart.size());
    FUZZ_CHECK(strText.compare(0, nHead - strStart.size(), strOut, 0, nHead - strStart.size()) == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
    static const int kStatuses[] = {200, 404, 0, 500, 302, -1};
    int nStatus = nSize ? kStatuses[pData[0] % 6] : 200;
    std::string strText(reinterpret_cast<const char*>(pData), nSize);
    if (nSize) strText.erase(0, 1);
    CheckReplace(strText);

    CCharSet charSet;
    std::string strResult = strText;
    JudgeAnswer(nStatus, strResult, nSize % 2, GetLogWriter(), charSet);
    FUZZ_CHECK(!strResult.empty());
    if (nStatus == 404) FUZZ_CHECK(strResult == kMarker404);
    if (nStatus == 0) FUZZ_CHECK(strResult == kMarkerNoServer);
    FUZZ_CHECK(strResult.find_first_of("\n\r \t") == std::string::npos);
    return 0;
}
