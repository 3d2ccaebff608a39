// The UTF-8 decoder of the Linux build. It reads malformed input the way the
// Windows build's conversion call does (found by experiment), so that both
// builds turn the same page into the same bytes:
//
//  - a byte 0x80..0xBF or 0xF5..0xFF on its own is one U+FFFD;
//  - a lead 0xC0..0xDF needs 1 continuation byte, 0xE0..0xEF needs 2 and
//    0xF0..0xF4 needs 3. When fewer bytes are left than it needs (the final
//    zero counts as one byte), the rest of the text becomes one U+FFFD;
//  - a lead whose first following byte is no continuation byte is one U+FFFD
//    by itself;
//  - two-byte overlong forms (value below 0x80) give U+FFFD for the lead
//    alone; three-byte overlong forms (E0 80..9F) and encoded surrogates
//    (ED A0..BF) give U+FFFD for the lead and its first continuation byte;
//    four-byte leads whose first continuation byte gives a value below
//    U+10000 or above U+10FFFF likewise;
//  - otherwise a sequence broken at its second or third continuation byte is
//    one U+FFFD for the bytes before the break.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

const uint32_t kReplacementChar = 0xFFFD;

// Decodes the character at p, where nLeft (at least 1) bytes are left before
// the text's end. Returns the number of bytes used; cp receives the code
// point (beyond 0xFFFF for a character outside the Basic Multilingual Plane).
inline size_t DecodeUtf8Char(const unsigned char* p, size_t nLeft, uint32_t& cp) {
    unsigned char c = p[0];
    if (c < 0x80) {
        cp = c;
        return 1;
    }
    size_t nNeed;
    uint32_t v;
    if (c < 0xC0 || c > 0xF4) {
        cp = kReplacementChar;
        return 1;
    } else if (c < 0xE0) {
        nNeed = 1;
        v = c & 0x1Fu;
    } else if (c < 0xF0) {
        nNeed = 2;
        v = c & 0x0Fu;
    } else {
        nNeed = 3;
        v = c & 0x07u;
    }
    cp = kReplacementChar;
    if (nNeed > nLeft) return nLeft;  // cut off by the end: the rest is one character
    // Bytes past the end read as the final zero, which is no continuation byte.
    auto at = [&](size_t i) -> unsigned { return i < nLeft ? p[i] : 0u; };
    auto isCont = [](unsigned b) { return (b & 0xC0u) == 0x80u; };

    unsigned b1 = at(1);
    if (!isCont(b1)) return 1;
    v = (v << 6) | (b1 & 0x3Fu);
    if (nNeed == 1) {
        if (v < 0x80) return 1;
        cp = v;
        return 2;
    }
    if (nNeed == 2) {
        if (v < 0x20 || (v >= 0x360 && v < 0x380)) return 2;
    } else {
        if (v < 0x10 || v >= 0x110) return 2;
    }
    unsigned b2 = at(2);
    if (!isCont(b2)) return 2;
    v = (v << 6) | (b2 & 0x3Fu);
    if (nNeed == 2) {
        cp = v;
        return 3;
    }
    unsigned b3 = at(3);
    if (!isCont(b3)) return 3;
    cp = (v << 6) | (b3 & 0x3Fu);
    return 4;
}

// The conversion (platform::ConvertUtf8ToAnsi) by one plain walk, character
// by character through DecodeUtf8Char: it defines the bytes that the fast
// conversion, which takes ASCII and runs of three-byte characters a word at a
// time, must give for every input.
bool ConvertUtf8ToAnsiPlain(std::string& strText);

}  // namespace platform
