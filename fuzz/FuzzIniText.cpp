// The INI engine on any file: a value written reads back, writing what was
// read gives the same reading again, and another section's value stays as
// it read before. The input's first byte gives the length of the value taken
// from its end; the rest is the file.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/FuzzCheck.h"
#include "platform/IniText.h"

namespace {
const size_t kReadSize = 1 << 16;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
    using platform::ini::ReadValue;
    using platform::ini::WriteValue;
    if (nSize == 0) return 0;
    std::string strRest(reinterpret_cast<const char*>(pData) + 1, nSize - 1);
    size_t nValue = pData[0] % 64 < strRest.size() ? pData[0] % 64 : strRest.size();
    std::string strText = strRest.substr(0, strRest.size() - nValue);
    std::string strValue = strRest.substr(strRest.size() - nValue);
    // A value is one line: line ends and zero bytes cannot be in it.
    for (char& c : strValue) {
        if (c == '\r' || c == '\n' || c == '\0') c = 'x';
    }

    const std::string strOther = ReadValue(strText, "T", "j", "-", kReadSize);
    std::string strFirst = strText;
    WriteValue(strText, "S", "k", strValue, strFirst);
    const std::string strRead = ReadValue(strFirst, "S", "k", "-", kReadSize);
    FUZZ_CHECK(ReadValue(strFirst, "T", "j", "-", kReadSize) == strOther);

    std::string strSecond = strFirst;
    WriteValue(strFirst, "s", "K", strRead, strSecond);
    FUZZ_CHECK(ReadValue(strSecond, "S", "k", "-", kReadSize) == strRead);
    FUZZ_CHECK(ReadValue(strSecond, "T", "j", "-", kReadSize) == strOther);
    // Written once more, nothing changes.
    std::string strThird;
    FUZZ_CHECK(!WriteValue(strSecond, "S", "k", strRead, strThird));
    return 0;
}
