// The INI engine on any file, once in the engine's own form: writing a value
// keeps another section's value as it read before, and a value read back that is its own reading (no
// blanks at its ends, not in matching quotes) reads the same once written
// again, and a third write changes nothing. The input's first byte gives the length of the value taken
// from its end; the rest is the file.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/FuzzCheck.h"
#include "platform/posix/IniText.h"

namespace {

const size_t kReadSize = 1 << 16;

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\x1a'; }

// A value that reads as itself: quotes around it and blanks at its ends
// are dropped by a read.
bool ReadsAsItself(const std::string& s) {
    if (s.empty()) return true;
    if (IsBlank(s.front()) || IsBlank(s.back())) return false;
    return !(s.size() >= 2 && (s[0] == '"' || s[0] == '\'') && s.back() == s[0]);
}

}  // namespace

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
    // Checks start from the file as the engine writes it. A first write
    // cuts what follows zero bytes and drops the header of a section without
    // a name, but writes a line that started with a zero byte as a blank
    // line; the second write drops that line, and a byte order mark behind
    // it then starts the file, which reads differently from there on (so do
    // the Windows profile functions). After two writes the form stays.
    std::string strBase = strText;
    for (int nPass = 0; nPass < 2; ++nPass) {
        std::string strIn = strBase;
        if (!WriteValue(strIn, "U", "u", "1", strBase)) WriteValue(strIn, "U", "u", "2", strBase);
    }

    const std::string strOther = ReadValue(strBase, "T", "j", "-", kReadSize);
    std::string strFirst = strBase;
    WriteValue(strBase, "S", "k", strValue, strFirst);
    const std::string strRead = ReadValue(strFirst, "S", "k", "-", kReadSize);
    FUZZ_CHECK(ReadValue(strFirst, "T", "j", "-", kReadSize) == strOther);

    if (!ReadsAsItself(strRead)) return 0;
    std::string strSecond = strFirst;
    WriteValue(strFirst, "s", "K", strRead, strSecond);
    FUZZ_CHECK(ReadValue(strSecond, "S", "k", "-", kReadSize) == strRead);
    FUZZ_CHECK(ReadValue(strSecond, "T", "j", "-", kReadSize) == strOther);
    // Written once more, nothing changes.
    std::string strThird;
    FUZZ_CHECK(!WriteValue(strSecond, "S", "k", strRead, strThird));
    return 0;
}
