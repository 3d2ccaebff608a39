// Windows side of the code-page conversion: the system's own two calls,
// UTF-8 to UTF-16 and UTF-16 to the ANSI code page.
#include <windows.h>

#include <climits>
#include <cstring>
#include <memory>
#include <new>
#include <utility>
#include <vector>

#include "platform/CodePage.h"

namespace platform {

namespace {

// The two calls on one piece of text, nBytes long, or up to its zero byte
// with nBytes -1 (the text's end: the zero counts, as it always has). The
// bytes come without a terminating zero; false when a call failed.
bool ConvertPiece(const char* p, int nBytes, std::vector<wchar_t>& wide, std::string& strOut) {
    strOut.clear();
    int nWide = MultiByteToWideChar(CP_UTF8, 0, p, nBytes, nullptr, 0);
    if (nWide <= 0) return false;
    wide.assign(static_cast<size_t>(nWide) + 1, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, p, nBytes, wide.data(), nWide);
    int nAnsi = WideCharToMultiByte(CP_ACP, 0, wide.data(), nBytes < 0 ? -1 : nWide, nullptr, 0, nullptr, nullptr);
    if (nAnsi <= 0) return false;
    strOut.assign(static_cast<size_t>(nAnsi) + 1, '\0');
    WideCharToMultiByte(CP_ACP, 0, wide.data(), nBytes < 0 ? -1 : nWide, &strOut[0], nAnsi, nullptr, nullptr);
    strOut.resize(strlen(strOut.c_str()));  // up to the first zero byte
    return true;
}

// Where the piece that starts at r ends: about nPiece bytes on, where the
// last four bytes hold no lead byte (none from C0 up) and the last is ASCII,
// so that no character reaches past the end and nothing there looks at what
// follows; the text's end where no such place comes.
size_t PieceEnd(const unsigned char* p, size_t r, size_t n, size_t nPiece) {
    if (n - r <= nPiece || nPiece < 8) return n;
    size_t nCleanFrom = r + nPiece - 4;  // no lead byte from here up to k
    for (size_t k = nCleanFrom; k < n; ++k) {
        if (p[k] >= 0xC0) nCleanFrom = k + 1;
        else if (p[k] < 0x80 && k + 1 - nCleanFrom >= 4) return k + 1;
    }
    return n;
}

}  // namespace

// One piece of about a megabyte at a time, each converted piece written
// back over the text (a piece never gets longer: every UTF-16 unit comes from
// at least one byte and gives at most two, a byte on its own gives one '?'),
// so a large page is not held three more times as UTF-16 and result.
bool ConvertUtf8ToAnsiInPieces(std::string& strText, size_t nPiece) {
    strText.resize(strnlen(strText.c_str(), strText.size()));
    const unsigned char* p = reinterpret_cast<const unsigned char*>(strText.data());
    const size_t n = strText.size();
    // ASCII is the same bytes in every ANSI code page.
    size_t i = 0;
    while (i < n && p[i] < 0x80) ++i;
    if (i == n) return true;
    if (n > INT_MAX) return ConvertUtf8ToAnsiPlain(strText);
    try {
        std::vector<wchar_t> wide;
        std::string strPiece;
        size_t r = 0, w = 0;
        while (r < n) {
            const size_t e = PieceEnd(p, r, n, nPiece);
            if (!ConvertPiece(strText.data() + r, e == n ? -1 : static_cast<int>(e - r), wide, strPiece)) {
                strText.clear();  // as a failed conversion of the whole text
                return true;
            }
            if (strPiece.size() > e - w) {  // cannot happen (see above); never write past the piece
                strText.clear();
                return false;
            }
            memcpy(&strText[w], strPiece.data(), strPiece.size());
            w += strPiece.size();
            r = e;
        }
        strText.resize(w);
        return true;
    } catch (const std::bad_alloc&) {
        strText.clear();
        return false;
    }
}

bool ConvertUtf8ToAnsi(std::string& strText) { return ConvertUtf8ToAnsiInPieces(strText, 1u << 20); }

// The whole text through the two calls at once.
bool ConvertUtf8ToAnsiPlain(std::string& strText) {
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
