// Windows side of the code-page conversion: the system's own two calls,
// UTF-8 to UTF-16 and UTF-16 to the ANSI code page.
#include <windows.h>

#include <cstring>
#include <memory>
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
    std::unique_ptr<wchar_t[]> wide(new (std::nothrow) wchar_t[static_cast<size_t>(nWide) + 1]);
    if (!wide) return false;
    memset(wide.get(), 0, (static_cast<size_t>(nWide) + 1) * sizeof(wchar_t));
    MultiByteToWideChar(CP_UTF8, 0, strIn.c_str(), -1, wide.get(), nWide);

    int nAnsi = WideCharToMultiByte(CP_ACP, 0, wide.get(), -1, nullptr, 0, nullptr, nullptr);
    if (nAnsi <= 0) return true;
    std::unique_ptr<char[]> ansi(new (std::nothrow) char[static_cast<size_t>(nAnsi) + 1]);
    if (!ansi) return false;
    memset(ansi.get(), 0, static_cast<size_t>(nAnsi) + 1);
    WideCharToMultiByte(CP_ACP, 0, wide.get(), -1, ansi.get(), nAnsi, nullptr, nullptr);
    strOut.assign(ansi.get());  // up to the first zero byte
    return true;
}

}  // namespace platform
