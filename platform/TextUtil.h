// The small text helpers every layer shares: code page 936 byte tests, ASCII
// case folding, trimming, the decimal reading of a setting and the fixed
// byte texts (product name, service description, services key). Pure
// functions on bytes; no operating-system header, so the core and both
// platform sides use it.
// Thread safety: every function is safe to call from any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// "Velmora·网页定时刷新工具", the product name (code page 936).
inline constexpr char kProductNameCp936[] =
    "Velmora\xa1\xa4\xcd\xf8\xd2\xb3\xb6\xa8\xca\xb1\xcb\xa2\xd0\xc2\xb9\xa4\xbe\xdf";

// "Velmora·网页定时刷新工具 系统服务", the service's description (code page 936).
inline constexpr char kServiceDescriptionCp936[] =
    "Velmora\xa1\xa4\xcd\xf8\xd2\xb3\xb6\xa8\xca\xb1\xcb\xa2\xd0\xc2\xb9\xa4\xbe\xdf"
    " \xcf\xb5\xcd\xb3\xb7\xfe\xce\xf1";

// The registry path under which every service has its key.
inline constexpr char kServicesKeyPath[] = "SYSTEM\\CurrentControlSet\\Services\\";

// --- code page 936 ----------------------------------------------------------
//
// A byte from 0x81 to 0xFE followed by a trail byte (0x40 to 0xFE except
// 0x7F) is one double-byte character; every other byte is a character of its
// own. So the second byte of a double-byte character (which may equal '\\',
// '<' or a letter) is never taken for a character by itself.

inline constexpr bool IsCp936LeadByte(unsigned char c) { return c >= 0x81 && c <= 0xFE; }

inline constexpr bool IsCp936TrailByte(unsigned char c) {
    return c >= 0x40 && c <= 0xFE && c != 0x7F;
}

// Length (1 or 2) of the character that starts at p, nLeft bytes remaining.
inline size_t Cp936CharLen(const char* p, size_t nLeft) {
    if (nLeft >= 2 && IsCp936LeadByte(static_cast<unsigned char>(p[0])) &&
        IsCp936TrailByte(static_cast<unsigned char>(p[1]))) {
        return 2;
    }
    return 1;
}

inline size_t Cp936CharLen(const std::string& s, size_t i) {
    return Cp936CharLen(s.data() + i, s.size() - i);
}

// --- ASCII letters -------------------------------------------------------------

inline constexpr char AsciiLower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// True when both texts are equal once the ASCII letters A-Z are folded to
// lower case; every other byte compares as it is.
bool EqualNoCaseAscii(const std::string& a, const std::string& b);

// Copy of the text with the single-byte letters A-Z made lower case;
// double-byte code page 936 characters are kept as they are.
std::string LowerCaseCp936(const std::string& strText);

// --- trimming -------------------------------------------------------------------
//
// Each caller names its own blank bytes (szBlanks, zero-terminated; a zero
// byte in the text is never a blank).

// Narrows [nBegin, nEnd) of s to leave out the blanks at both ends.
void TrimBounds(const std::string& s, size_t& nBegin, size_t& nEnd, const char* szBlanks);
// Leaves out the blanks at the front of [nBegin, nEnd).
void TrimFront(const std::string& s, size_t& nBegin, size_t nEnd, const char* szBlanks);
// Leaves out the blanks at the back of [nBegin, nEnd).
void TrimBack(const std::string& s, size_t nBegin, size_t& nEnd, const char* szBlanks);
// The text without the blanks at both ends.
std::string Trimmed(const std::string& s, const char* szBlanks);

// --- numbers --------------------------------------------------------------------

// The decimal reading of a setting as the C library's atol gives it
// (white space, sign, digits up to the first other character), clamped to
// the signed 32-bit range.
int32_t ParseSettingNumber(const std::string& strText);
