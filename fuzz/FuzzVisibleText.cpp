// ExtractVisibleText: never longer than its input, never a blank left, and a
// result without markup is a fixed point.
#include <cstddef>
#include <cstdint>
#include <string>

#include "config/TextUtil.h"
#include "fuzz/FuzzCheck.h"
#include "refresh/VisibleText.h"

namespace {

bool HasMarkup(const std::string& s) {
    return s.find_first_of("<>") != std::string::npos || s.find("&lt;") != std::string::npos ||
           s.find("&gt;") != std::string::npos;
}

// A full-width space that only came together when the bytes between its two
// halves were dropped: a second pass takes it out as well.
bool HasFullWidthSpace(const std::string& s) {
    for (size_t i = 0; i < s.size(); i += Cp936CharLen(s, i)) {
        if (Cp936CharLen(s, i) == 2 && s[i] == '\xa1' && s[i + 1] == '\xa1') return true;
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
    std::string strIn(reinterpret_cast<const char*>(pData), nSize);
    std::string strOut = ExtractVisibleText(strIn);
    FUZZ_CHECK(strOut.size() <= strIn.size());
    FUZZ_CHECK(strOut.find_first_of("\n\r \t") == std::string::npos);
    // Only blanks and full-width spaces may vanish without a trace.
    if (strOut.empty()) FUZZ_CHECK(strIn.find_first_not_of("\n\r \t\xa1") == std::string::npos);
    if (!HasMarkup(strOut) && !HasFullWidthSpace(strOut)) FUZZ_CHECK(ExtractVisibleText(strOut) == strOut);
    return 0;
}
