// Runs the refresh worker beside this executable for a given time, for
// measurements such as `strace -c -f` over idle passes.
//
//   WorkerDriver SECONDS [Key=Value ...]
//
// The settings given are written to config.ini first (section VlmWebRefresh);
// the resident memory is printed after the first pass and at the end. The
// process-wide objects are the service's own (service/Globals.cpp).
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

#include "config/IniReader.h"
#include "service/Thread.h"

namespace {

std::string ResidentMemory() {
    std::ifstream status("/proc/self/status");
    std::string strLine;
    while (std::getline(status, strLine)) {
        if (strLine.compare(0, 6, "VmRSS:") == 0) return strLine;
    }
    return "VmRSS: unknown";
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        fprintf(stderr, "usage: %s SECONDS [Key=Value ...]\n", argv[0]);
        return 2;
    }
    const int nSeconds = atoi(argv[1]);
    for (int i = 2; i < argc; ++i) {
        std::string strArg = argv[i];
        size_t nEq = strArg.find('=');
        if (nEq == std::string::npos) continue;
        theIniReader.WriteString(strArg.substr(nEq + 1), strArg.substr(0, nEq), kSettingsSection);
    }
    theRefreshThread.StartRefresh();
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    printf("after the first pass: %s\n", ResidentMemory().c_str());
    std::this_thread::sleep_for(std::chrono::seconds(nSeconds));
    printf("after %d s: %s\n", nSeconds, ResidentMemory().c_str());
    g_bStopRequested = 1;
    return 0;
}
