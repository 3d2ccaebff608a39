// The registry store engine on any file: a number written reads back, a
// second write of it reads the same, and a value of another key keeps its
// reading. The input's first four bytes are the number; the rest is the file.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "fuzz/FuzzCheck.h"
#include "platform/posix/RegStoreText.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
    namespace rs = platform::regstore;
    if (nSize < 4) return 0;
    uint32_t nNumber = 0;
    memcpy(&nNumber, pData, 4);
    std::string strText(reinterpret_cast<const char*>(pData) + 4, nSize - 4);

    int32_t nOther = 0, nOtherAfter = 0;
    const bool bOther = rs::ReadNumber(strText, "L", "B", nOther);
    int32_t nParsed = 0;
    rs::ParseNumber(strText, nParsed);

    for (bool bExisted : {true, false}) {
        std::string strFirst = rs::SetValue(strText, bExisted, "K", "A", rs::NumberData(nNumber));
        int32_t nRead = 0;
        FUZZ_CHECK(rs::ReadNumber(strFirst, "k", "a", nRead));
        FUZZ_CHECK(static_cast<uint32_t>(nRead) == nNumber);
        FUZZ_CHECK(rs::ReadNumber(strFirst, "L", "B", nOtherAfter) == bOther);
        FUZZ_CHECK(!bOther || nOtherAfter == nOther);

        std::string strSecond = rs::SetValue(strFirst, true, "K", "A", rs::NumberData(nNumber));
        FUZZ_CHECK(rs::ReadNumber(strSecond, "K", "A", nRead));
        FUZZ_CHECK(static_cast<uint32_t>(nRead) == nNumber);
        std::string strUnchanged;
        FUZZ_CHECK(!rs::AddKey(strSecond, true, "K", strUnchanged));
    }
    return 0;
}
