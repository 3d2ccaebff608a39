// IsUTF8 and UTF8ToANSI: the conversion never grows the text nor yields a
// zero byte, plain ASCII passes unchanged, and a refused run holds a byte
// above 0x7F.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/FuzzCheck.h"
#include "http/CharSet.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
    CCharSet charSet;
    std::string strIn(reinterpret_cast<const char*>(pData), nSize);
    int nUtf8 = charSet.IsUTF8(pData, static_cast<uint32_t>(nSize));
    FUZZ_CHECK(nUtf8 == 0 || nUtf8 == 1);
    bool bAscii = true;
    for (unsigned char c : strIn) bAscii = bAscii && c < 0x80;
    if (bAscii) FUZZ_CHECK(nUtf8 == 1);

    std::string strOut = "stale";
    charSet.UTF8ToANSI(strOut, strIn);
    std::string strUpToZero = strIn.substr(0, strIn.find('\0'));
    FUZZ_CHECK(strOut.size() <= strUpToZero.size());
    FUZZ_CHECK(strOut.find('\0') == std::string::npos);
    if (bAscii) FUZZ_CHECK(strOut == strUpToZero);
    return 0;
}
