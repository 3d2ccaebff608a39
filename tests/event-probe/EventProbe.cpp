// Prints the sentence of each event of the service, one line each,
// "event <id>: <sentence>", as an administrator sees it:
//   Windows build: EventProbe.exe <VlmRefreshSvc.exe> reads the executable's
//     message table with FormatMessageA, inserting the service name as the
//     Event Viewer does.
//   Linux build: EventProbe sends each event through the seam's ReportEventTo
//     to a syslog socket of its own and prints what arrived after the prefix.
// tests/event-probe/compare.sh runs both and compares them.
#include <cstdint>
#include <cstdio>
#include <string>

#ifdef _WIN32
#include <windows.h>
#else
#include <stdlib.h>
#include <sys/stat.h>

#include <vector>

#include "platform/Service.h"
#include "support/TestSupport.h"
#endif

namespace {

const char kServiceName[] = "VlmRefresh";

// The events of the service and whether they carry an insert (the service
// name; 109 carries a note about the log files, for which the name stands in).
struct SEventCase {
    uint32_t nId;
    bool bName;
};
const SEventCase kEvents[] = {{100, true},  {101, true},  {102, true},  {103, false},
                              {104, false}, {105, false}, {106, false}, {108, false}, {109, true}};

}  // namespace

#ifdef _WIN32

int main(int argc, char** argv) {
    HMODULE hModule = argc == 2 ? LoadLibraryExA(argv[1], nullptr, LOAD_LIBRARY_AS_DATAFILE) : nullptr;
    if (!hModule) {
        printf("usage: EventProbe.exe <VlmRefreshSvc.exe> (which must load: error %lu)\n", GetLastError());
        return 2;
    }
    for (const SEventCase& e : kEvents) {
        DWORD_PTR args[1] = {reinterpret_cast<DWORD_PTR>(kServiceName)};
        char szText[1024] = "";
        DWORD nLen = FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ARGUMENT_ARRAY,
                                    hModule, e.nId, 0, szText, sizeof(szText),
                                    reinterpret_cast<va_list*>(e.bName ? args : nullptr));
        if (nLen == 0) printf("event %u: no message text, error %lu\n", e.nId, GetLastError());
        while (nLen > 0 && (szText[nLen - 1] == '\n' || szText[nLen - 1] == '\r')) --nLen;
        if (nLen > 0) printf("event %u: %.*s\n", e.nId, static_cast<int>(nLen), szText);
    }
    FreeLibrary(hModule);
    return 0;
}

#else

int main() {
    CTempDir root;
    const std::string strRoot = root.Path().substr(0, root.Path().size() - 1);
    mkdir((strRoot + "/dev").c_str(), 0755);
    CDatagramSink log(strRoot + "/dev/log");
    setenv("VLM_SYSTEM_ROOT", strRoot.c_str(), 1);
    platform::EventSourceHandle hSource = platform::OpenEventSource(kServiceName);
    int nResult = 0;
    for (const SEventCase& e : kEvents) {
        const char* pStrings[3] = {kServiceName, nullptr, nullptr};
        platform::ReportEventTo(hSource, platform::kEventInformation, e.nId, e.bName ? 1 : 0, pStrings);
        std::vector<std::string> lines;
        WaitUntil([&] { return !(lines = log.Take(0)).empty(); }, 2000);
        size_t nStart = lines.empty() ? std::string::npos : lines.front().find("]: ");
        if (nStart == std::string::npos) {
            printf("event %u: nothing arrived in the system log\n", e.nId);
            nResult = 1;
        } else {
            printf("%s\n", lines.front().substr(nStart + 3).c_str());
        }
    }
    platform::CloseEventSource(hSource);
    return nResult;
}

#endif
