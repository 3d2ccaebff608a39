// Prints the sentence of each event of the service as an administrator sees
// it, one line each, "<language> event <id>: <sentence>" in UTF-8; the events
// are those of service/EventMessages.mc (the generated table):
//   Windows build: EventProbe.exe <VlmRefreshSvc.exe> reads the executable's
//     message table with FormatMessageW, inserting the service name as the
//     Event Viewer does, for "en" (0x409), "zh" (0x804) and "default" (the
//     language Windows picks by its locale, as the Event Viewer asks).
//   Linux build: EventProbe <language> sends each event through the seam's
//     ReportEventTo to a syslog socket of its own (the locale of the
//     environment picks the language) and prints what arrived after the
//     prefix.
// tests/event-probe/compare.sh runs both and compares them.
#include <cstdint>
#include <cstdio>
#include <string>

#include "EventMessages.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <stdlib.h>
#include <sys/stat.h>

#include <vector>

#include "platform/Service.h"
#include "support/TestSupport.h"
#endif

#ifdef _WIN32

namespace {

// Every event is given the service name; a sentence without %1 ignores it.
void PrintTable(HMODULE hModule, const char* szTag, DWORD nLanguage) {
    for (const SEventMessage& m : kEventMessages) {
        DWORD_PTR args[1] = {reinterpret_cast<DWORD_PTR>(L"VlmRefresh")};
        wchar_t szText[1024] = L"";
        DWORD nLen = FormatMessageW(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ARGUMENT_ARRAY, hModule, m.nId,
                                    nLanguage, szText, 1024, reinterpret_cast<va_list*>(args));
        if (nLen == 0) printf("%s event %u: no message text, error %lu\n", szTag, m.nId, GetLastError());
        while (nLen > 0 && (szText[nLen - 1] == L'\n' || szText[nLen - 1] == L'\r')) --nLen;
        char szUtf8[4096] = "";
        int nBytes = WideCharToMultiByte(CP_UTF8, 0, szText, nLen, szUtf8, sizeof(szUtf8), nullptr, nullptr);
        if (nLen > 0) printf("%s event %u: %.*s\n", szTag, m.nId, nBytes, szUtf8);
    }
}

}  // namespace

int main(int argc, char** argv) {
    HMODULE hModule = argc == 2 ? LoadLibraryExA(argv[1], nullptr, LOAD_LIBRARY_AS_DATAFILE) : nullptr;
    if (!hModule) {
        printf("usage: EventProbe.exe <VlmRefreshSvc.exe> (which must load: error %lu)\n", GetLastError());
        return 2;
    }
    PrintTable(hModule, "en", MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
    PrintTable(hModule, "zh", MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED));
    PrintTable(hModule, "default", 0);
    FreeLibrary(hModule);
    return 0;
}

#else

int main(int argc, char** argv) {
    const char* szTag = argc == 2 ? argv[1] : "";
    CTempDir root;
    const std::string strRoot = root.Path().substr(0, root.Path().size() - 1);
    mkdir((strRoot + "/dev").c_str(), 0755);
    CDatagramSink log(strRoot + "/dev/log");
    setenv("VLM_SYSTEM_ROOT", strRoot.c_str(), 1);
    platform::EventSourceHandle hSource = platform::OpenEventSource("VlmRefresh");
    int nResult = 0;
    for (const SEventMessage& m : kEventMessages) {
        const char* pStrings[3] = {"VlmRefresh", nullptr, nullptr};
        platform::ReportEventTo(hSource, platform::kEventInformation, m.nId, 1, pStrings);
        std::vector<std::string> lines;
        WaitUntil([&] { return !(lines = log.Take(0)).empty(); }, 2000);
        size_t nStart = lines.empty() ? std::string::npos : lines.front().find("]: ");
        std::string strSeen = nStart == std::string::npos ? "nothing arrived in the system log"
                                                          : lines.front().substr(nStart + 3);
        printf("%s %s\n", szTag, strSeen.c_str());
        if (nStart == std::string::npos) nResult = 1;
    }
    platform::CloseEventSource(hSource);
    return nResult;
}

#endif
