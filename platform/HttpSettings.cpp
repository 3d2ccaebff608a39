// Settings of the HTTP seam shared by both sides: time-outs, the abort flag,
// the agent name and the reading of a status line.
#include <atomic>

#include "platform/Http.h"
#include "platform/Platform.h"

namespace platform {

namespace {
constexpr uint32_t kDefaultConnectMs = 20000;
constexpr uint32_t kDefaultReceiveMs = 30000;
std::atomic<uint32_t> g_nConnectMs{kDefaultConnectMs};
std::atomic<uint32_t> g_nReceiveMs{kDefaultReceiveMs};
std::atomic<const std::atomic<int32_t>*> g_pAbort{nullptr};
}  // namespace

const std::atomic<int32_t>* GetHttpAbortFlag() { return g_pAbort; }

void InitHttp(const std::atomic<int32_t>* pAbort) {
    PrepareHttpLayer();
    g_pAbort = pAbort;
}

void SetHttpTimeouts(uint32_t nConnectMs, uint32_t nReceiveMs) {
    g_nConnectMs = nConnectMs ? nConnectMs : kDefaultConnectMs;
    g_nReceiveMs = nReceiveMs ? nReceiveMs : kDefaultReceiveMs;
}

uint32_t GetHttpConnectTimeoutMs() { return g_nConnectMs; }
uint32_t GetHttpReceiveTimeoutMs() { return g_nReceiveMs; }

std::string GetHttpAgentName() {
    std::string strPath = GetModulePath();
    size_t nSlash = strPath.find_last_of("/\\");
    std::string strName = nSlash == std::string::npos ? strPath : strPath.substr(nSlash + 1);
    size_t nDot = strName.rfind('.');
    if (nDot != std::string::npos && nDot > 0) strName.resize(nDot);
    std::string strAgent;
    for (char c : strName) {
        if (c >= 0x20 && c <= 0x7E) strAgent += c;
    }
    return strAgent;
}

int ParseHttpStatusLine(const char* pLine, size_t nSize) {
    if (nSize < 5 || pLine[0] != 'H' || pLine[1] != 'T' || pLine[2] != 'T' || pLine[3] != 'P' || pLine[4] != '/')
        return 0;
    size_t i = 5;
    while (i < nSize && pLine[i] != ' ' && pLine[i] != '\r' && pLine[i] != '\n') ++i;
    if (i == 5 || i >= nSize || pLine[i] != ' ') return 0;  // no version, or nothing after it
    while (i < nSize && pLine[i] == ' ') ++i;
    int nCode = 0;
    for (int nDigit = 0; nDigit < 3; ++nDigit, ++i) {
        if (i >= nSize || pLine[i] < '0' || pLine[i] > '9') return 0;
        nCode = nCode * 10 + (pLine[i] - '0');
    }
    if (i < nSize && pLine[i] != ' ' && pLine[i] != '\r' && pLine[i] != '\n') return 0;  // a fourth digit
    return nCode;
}

}  // namespace platform
