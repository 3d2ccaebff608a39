// Entry logic of VlmRefreshSvc: the banner, one command-line option or the
// service dispatcher, the closing line and the exit code.
#include <cstdio>
#include <string>

#include "config/Product.h"
#include "platform/Http.h"
#include "platform/Service.h"
#include "service/MyService.h"
#include "service/Thread.h"

namespace {
// " 启动完毕"
const char kClosingSuffix[] = " \xc6\xf4\xb6\xaf\xcd\xea\xb1\xcf";
// The string resource holding the product name.
const uint32_t kProductNameResource = 1;
}  // namespace

int main(int argc, char** argv) {
    g_bStopRequested = 0;
    // The HTTP layer is set up here, on the main thread, before the worker
    // exists.
    platform::InitHttp();

    // Without an application framework to initialise there is nothing that
    // can fail here; a failure would print "Fatal Error: MFC initialization
    // failed", wait for one character and end with exit code 1.
    std::string strBanner = platform::LoadStringResource(kProductNameResource, kProductName);
    printf("%s\n", platform::ToConsoleText(strBanner).c_str());
    fflush(stdout);

    if (!theService.HandleCommandLine(argc, argv)) theService.RunDispatcher();

    printf("%s\n", platform::ToConsoleText(std::string(kProductName) + kClosingSuffix).c_str());
    fflush(stdout);
    return static_cast<int>(theService.m_status.dwWin32ExitCode.load());
}
