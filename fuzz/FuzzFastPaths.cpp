// The fast text paths against their plain references on any bytes. Each
// input is checked as it is and behind a run of one filler byte (length from
// its first byte, filler from its second) that moves every byte across the
// sixteen-byte block edges; the pattern for the tag search is cut from the
// input's start.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "fuzz/FastPathCheck.h"
#include "fuzz/FuzzCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
    static const char* const kFillers[] = {"a", " ", "\xd6", "\xa1", "<", "&", "\xe4", "\t"};
    std::string strText(reinterpret_cast<const char*>(pData), nSize);
    unsigned char nHead = nSize ? pData[0] : 0;
    std::string strPattern = strText.substr(nSize ? 1 : 0, 1 + (nHead & 7u));
    std::string strPrefix;
    const char* pFiller = kFillers[nSize > 1 ? pData[1] & 7u : 0];
    for (unsigned k = 0; k < (nHead >> 3 & 31u); ++k) strPrefix += pFiller;
    for (const std::string& strIn : {strText, strPrefix + strText}) {
        const char* pPair = FastPathDisagreement(strIn, strPattern);
        if (pPair) fprintf(stderr, "%s: the fast path differs from the plain walk\n", pPair);
        FUZZ_CHECK(pPair == nullptr);
    }
    return 0;
}
