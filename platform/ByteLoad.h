// Unaligned little-endian loads for the byte-scanning fast paths (portable,
// no operating-system header).
#pragma once

#include <cstdint>
#include <cstring>

// The four bytes at p as one number, the first byte lowest.
inline uint32_t LoadFour(const unsigned char* p) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    uint32_t v;
    memcpy(&v, p, 4);
    return v;
#else
    return p[0] | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
#endif
}
