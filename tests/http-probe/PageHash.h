// How the probe and the tests that read its lines see a page: the text it
// holds before a fetch, and the 64-bit FNV-1a hash by which it is reported.
#pragma once

#include <cstdint>
#include <string>

// A fetch with a result of 0 must leave this text.
inline constexpr char kUntouchedPage[] = "(page before the fetch)";

inline uint64_t HashFnv1a(const std::string& s) {
    uint64_t h = 1469598103934665603ull;
    for (unsigned char c : s) h = (h ^ c) * 1099511628211ull;
    return h;
}
