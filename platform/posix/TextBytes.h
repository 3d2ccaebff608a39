// The byte helpers of the Linux side's text engines (the INI file, the
// registry store) and of its HTTP layer: code page 936 lead and trail bytes,
// ASCII case folding and trimming. The core has helpers of its own
// (config/TextUtil.h); platform/ never reaches into the core.
// Thread safety: pure functions, safe from any thread.
#pragma once

#include <cstddef>
#include <string>

namespace platform {

// A byte from 0x81 to 0xFE followed by a trail byte (0x40 to 0xFE except
// 0x7F) is one double-byte character of code page 936.
inline constexpr bool IsLeadByte(unsigned char c) { return c >= 0x81 && c <= 0xFE; }
inline constexpr bool IsTrailByte(unsigned char c) { return c >= 0x40 && c <= 0xFE && c != 0x7F; }

inline constexpr char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// True when both texts are equal once the ASCII letters A-Z are folded to
// lower case; every other byte compares as it is.
inline bool EqualNoCaseAscii(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
    }
    return true;
}

// Trimming: each caller names its own blank bytes (szBlanks, zero-terminated;
// a zero byte in the text is never a blank).
inline bool IsBlankOf(char c, const char* szBlanks) {
    if (c == '\0') return false;
    for (const char* p = szBlanks; *p; ++p) {
        if (*p == c) return true;
    }
    return false;
}
// Leaves out the blanks at the front, or at the back, of [nBegin, nEnd).
inline void TrimFront(const std::string& s, size_t& nBegin, size_t nEnd, const char* szBlanks) {
    while (nBegin < nEnd && IsBlankOf(s[nBegin], szBlanks)) ++nBegin;
}
inline void TrimBack(const std::string& s, size_t nBegin, size_t& nEnd, const char* szBlanks) {
    while (nEnd > nBegin && IsBlankOf(s[nEnd - 1], szBlanks)) --nEnd;
}
// The text without the blanks at both ends.
inline std::string Trimmed(const std::string& s, const char* szBlanks) {
    size_t nBegin = 0, nEnd = s.size();
    TrimFront(s, nBegin, nEnd, szBlanks);
    TrimBack(s, nBegin, nEnd, szBlanks);
    return s.substr(nBegin, nEnd - nBegin);
}

}  // namespace platform
