// Windows side of the service-manager seam. The parts live in files of their
// own, each beside its Linux twin (Service*Posix.cpp): ServiceInstallWin32
// (registration), ServiceControlWin32 (dispatcher and status),
// ServiceEventsWin32 (event log), ServiceRegistryWin32 (registry).
// This file: the system error, the console and the string resources.
#include <windows.h>

#include <string>

#include "platform/Service.h"

namespace platform {

uint32_t GetLastSystemError() { return GetLastError(); }

// The console takes code page 936 text as it is.
std::string ToConsoleText(const std::string& strLine) { return strLine; }

std::string LoadStringResource(uint32_t nId, const char*) {
    char szText[1024] = {0};
    int n = LoadStringA(GetModuleHandleA(nullptr), nId, szText, sizeof(szText));
    if (n <= 0) return std::string();
    return std::string(szText, static_cast<size_t>(n));
}

}  // namespace platform
