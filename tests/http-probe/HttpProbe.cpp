// Drives FetchPage from outside a test binary; built in both builds.
//
//   HttpProbe fetch CONNECT_MS RECEIVE_MS < urls
//       One fetch per input line (the line is the address as it stands, an
//       empty line the empty address). For each it prints one line:
//       "R <status> <ms> <t0> <t1> <length> <hash> <why>" where t0/t1 are the
//       clock's seconds around the fetch, <hash> the page text's 64-bit FNV-1a
//       hash and <why> the platform::EHttpFailure number (0 with a status).
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>

#include "http-probe/PageHash.h"
#include "http/PageFetcher.h"
#include "platform/Clock.h"
#include "platform/Http.h"
#include "support/TestEnv.h"

namespace {

int RunFetch(char** argv) {
    CTestEnv env;  // the real environment with the time-outs asked for
    env.m_timeouts = {static_cast<uint32_t>(std::atol(argv[2])), static_cast<uint32_t>(std::atol(argv[3]))};
    std::string strUrl;
    while (std::getline(std::cin, strUrl)) {
        if (!strUrl.empty() && strUrl.back() == '\r') strUrl.pop_back();
        std::string strPage = kUntouchedPage;
        auto tStart = std::chrono::steady_clock::now();
        long long t0 = static_cast<long long>(GetClock().Now());
        platform::EHttpFailure eWhy = platform::kHttpFailNone;
        int nStatus = CPageFetcher().FetchPage(strUrl, strPage, &eWhy);
        long long t1 = static_cast<long long>(GetClock().Now());
        long long nMs = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - tStart).count();
        std::printf("R %d %lld %lld %lld %zu %016llx %d\n", nStatus, nMs, t0, t1, strPage.size(),
                    static_cast<unsigned long long>(HashFnv1a(strPage)), static_cast<int>(eWhy));
        std::fflush(stdout);
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 4 && std::string(argv[1]) == "fetch") return RunFetch(argv);
    std::fprintf(stderr, "usage: HttpProbe fetch CONNECT_MS RECEIVE_MS\n");
    return 2;
}
