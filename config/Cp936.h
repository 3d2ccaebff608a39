// Walking a byte string as code page 936 characters.
//
// A byte from 0x81 to 0xFE followed by a trail byte (0x40 to 0xFE except 0x7F)
// is one double-byte character; every other byte is a character of its own.
// So the second byte of a double-byte character (which may equal '\\', '<' or
// a letter) is never taken for a character by itself.
#pragma once

#include <cstddef>
#include <string>

inline size_t Cp936CharLen(const char* p, size_t nLeft) {
    unsigned char c = static_cast<unsigned char>(p[0]);
    if (c >= 0x81 && c <= 0xFE && nLeft >= 2) {
        unsigned char t = static_cast<unsigned char>(p[1]);
        if (t >= 0x40 && t <= 0xFE && t != 0x7F) return 2;
    }
    return 1;
}

inline size_t Cp936CharLen(const std::string& s, size_t i) {
    return Cp936CharLen(s.data() + i, s.size() - i);
}
