// Windows side of the code-page conversion: the system's own two calls,
// UTF-8 to UTF-16 and UTF-16 to the ANSI code page.
#include <windows.h>

#include <cstring>
#include <new>
#include <utility>

#include "platform/CodePage.h"

namespace platform {

bool ConvertUtf8ToAnsi(std::string& strText) {
    const std::string strIn = std::move(strText);
    std::string& strOut = strText;
    strOut.clear();
    int nWide = MultiByteToWideChar(CP_UTF8, 0, strIn.c_str(), -1, nullptr, 0);
    if (nWide <= 0) return true;
    wchar_t* pWide = new (std::nothrow) wchar_t[static_cast<size_t>(nWide) + 1];
    if (!pWide) return false;
    memset(pWide, 0, (static_cast<size_t>(nWide) + 1) * sizeof(wchar_t));
    MultiByteToWideChar(CP_UTF8, 0, strIn.c_str(), -1, pWide, nWide);

    int nAnsi = WideCharToMultiByte(CP_ACP, 0, pWide, -1, nullptr, 0, nullptr, nullptr);
    if (nAnsi <= 0) {
        delete[] pWide;
        return true;
    }
    char* pAnsi = new (std::nothrow) char[static_cast<size_t>(nAnsi) + 1];
    if (!pAnsi) {
        delete[] pWide;
        return false;
    }
    memset(pAnsi, 0, static_cast<size_t>(nAnsi) + 1);
    WideCharToMultiByte(CP_ACP, 0, pWide, -1, pAnsi, nAnsi, nullptr, nullptr);
    strOut.assign(pAnsi);  // up to the first zero byte
    delete[] pAnsi;
    delete[] pWide;
    return true;
}

}  // namespace platform
