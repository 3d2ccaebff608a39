// Settings of the HTTP seam shared by both sides: time-outs and agent name.
#include <atomic>

#include "platform/Http.h"
#include "platform/Platform.h"

namespace platform {

namespace {
constexpr uint32_t kDefaultConnectMs = 20000;
constexpr uint32_t kDefaultReceiveMs = 30000;
std::atomic<uint32_t> g_nConnectMs{kDefaultConnectMs};
std::atomic<uint32_t> g_nReceiveMs{kDefaultReceiveMs};
}  // namespace

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
    return strName;
}

}  // namespace platform
