// The 64-bit FNV-1a hash by which the probe reports a page and the Wine test
// checks it.
#pragma once

#include <cstdint>
#include <string>

inline uint64_t HashFnv1a(const std::string& s) {
    uint64_t h = 1469598103934665603ull;
    for (unsigned char c : s) h = (h ^ c) * 1099511628211ull;
    return h;
}
