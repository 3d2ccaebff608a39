// The small text helpers of the core: code page 936 byte tests, ASCII case
// folding and the decimal reading of a setting. Pure functions on bytes.
// Thread safety: every function is safe to call from any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

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

// A blank, tab, line feed, vertical tab, form feed or carriage return.
inline constexpr bool IsAsciiSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// Copy of the text with the single-byte letters A-Z made lower case;
// double-byte code page 936 characters are kept as they are.
std::string LowerCaseCp936(const std::string& strText);

// --- numbers --------------------------------------------------------------------

// The decimal reading of a setting as the C library's atol gives it
// (white space, sign, digits up to the first other character), clamped to
// the signed 32-bit range.
int32_t ParseSettingNumber(const std::string& strText);
