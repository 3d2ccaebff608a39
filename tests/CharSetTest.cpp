#include <gtest/gtest.h>

#include <string>

#include "http/CharSet.h"

namespace {

// The input, IsUTF8 of all its bytes, and UTF8ToANSI on both builds.
struct CharSetCase { std::string strIn; int nUtf8; std::string strAnsi; };

// Malformed input is converted as the Windows build's conversion call reads it.
TEST(CharSet, TestAndConversion) {
    const std::string s64(64, 'a');
    const CharSetCase cases[] = {
        {"", 1, ""}, {"plain ASCII passes unchanged", 1, "plain ASCII passes unchanged"},
        {"\xe4\xb8\xad", 1, "\xd6\xd0"},                         // 中
        {"<p>\xe4\xb8\xad\xe6\x96\x87</p>", 1, "<p>\xd6\xd0\xce\xc4</p>"},  // 中文
        {"\xd6\xd0", 0, "??"},                                   // code page 936 bytes
        {"\x80", 0, "?"}, {"\xf5\x80\x80\x80", 0, "????"},
        {"ok \xf0\x9f\x98\x80", 0, "ok ??"},                     // beyond the BMP: two units
        {"ab\xc3", 1, "ab?"},                                    // cut short at the end
        {"\xc0\x80", 1, "??"},                                   // overlong: the lead alone
        {"\xe0\x80\x80", 1, "??"},                               // overlong: lead + first byte
        {"\xed\xa0\x80", 1, "??"},                               // encoded surrogate
        {"\xe4\x41\x41", 0, "?AA"}, {"\xf0" "AB", 0, "?AB"}, {"\xf4\x90\x80\x80", 0, "???"},
        {"\xf0" "A", 0, "?"},          // the lead wants more than is left: all of it goes
        {"\xe2\x82\xac", 1, "\x80"},                             // euro sign
        {"\xee\x80\x80", 1, "?"},                                // user-defined area (see below)
        {"x\xe4\xb8\xad\xc2\xa2", 1, "x\xd6\xd0?"},               // 中¢: best fit on Windows only
        {"\xe4\xb8\xad" + std::string(1, '\0') + "\xe4\xb8\xad", 1, "\xd6\xd0"},  // stops at zero
        {s64 + "\xe4\xb8\xad" + s64, 1, s64 + "\xd6\xd0" + s64}, {s64 + "\x80" + s64, 0, s64 + "?" + s64},
    };
    CCharSet charSet;
    for (const CharSetCase& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.strIn));
        EXPECT_EQ(charSet.IsUTF8(c.strIn.data(), static_cast<uint32_t>(c.strIn.size())), c.nUtf8);
        std::string strOut = "previous content";
        charSet.UTF8ToANSI(strOut, c.strIn);
        std::string strExpected = c.strAnsi;
#ifdef _WIN32
        if (c.strIn == "\xee\x80\x80") strExpected = "\xaa\xa1";
        if (c.strIn == "x\xe4\xb8\xad\xc2\xa2") strExpected = "x\xd6\xd0\xa1\xe9";
#endif
        EXPECT_EQ(strOut, strExpected);
    }
}

}  // namespace
