// The portable INI engine on texts (both builds compile it; the Linux build's
// profile functions stand on it). Reads and writes of particular files are
// compared with the Windows profile functions by the corpus test
// (tests/ini-probe/, tests/ini-corpus/); these are the properties it cannot
// show: cuts at small buffer sizes, random files, a large file.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "platform/IniText.h"

namespace {

using platform::ini::ReadValue;
using platform::ini::WriteValue;

TEST(IniText, ReadsCutToWholeCharacters) {
    std::string strText = "[S]\nk=ab\xd6\xd0" "cd\n";
    const struct {
        size_t nSize;
        const char* szExpected;
    } cases[] = {{0, ""}, {1, ""}, {3, "ab"}, {4, "ab"}, {5, "ab\xd6\xd0"}, {100, "ab\xd6\xd0" "cd"}};
    for (const auto& c : cases) EXPECT_EQ(ReadValue(strText, "S", "k", "", c.nSize), c.szExpected);
    EXPECT_EQ(ReadValue(strText, "S", "none", "def  ", 100), "def");
}

// Random files of awkward bytes: a written value reads back, a second write
// of it changes nothing, and other keys keep their values.
TEST(IniText, WrittenValueReadsBackInAnyFile) {
    const char kAlphabet[] = "[]=;\"' \t\r\nSskK\x81\xa1\xd6\xd0\x5c\x7f\xff\x00";
    const size_t nAlphabet = sizeof kAlphabet - 1;
    uint32_t nSeed = 12345;
    auto next = [&nSeed]() {
        nSeed = nSeed * 1103515245u + 12345u;
        return (nSeed >> 16) & 0x7fff;
    };
    for (int n = 0; n < 3000; ++n) {
        std::string strText;
        size_t nLen = next() % 60;
        for (size_t i = 0; i < nLen; ++i) strText += kAlphabet[next() % nAlphabet];
        std::string strFirst, strSecond, strThird;
        ASSERT_TRUE(WriteValue(strText, "S", "k", "v1", strFirst)) << n;
        EXPECT_EQ(ReadValue(strFirst, "S", "k", "", 2048), "v1") << n;
        EXPECT_FALSE(WriteValue(strFirst, "s", "K", "v1", strSecond)) << n;
        ASSERT_TRUE(WriteValue(strFirst, "T", "j", "v2", strThird)) << n;
        EXPECT_EQ(ReadValue(strThird, "S", "k", "", 2048), "v1") << n;
        EXPECT_EQ(ReadValue(strThird, "T", "j", "", 2048), "v2") << n;
    }
}

TEST(IniText, LargeFileKeepsEveryEntry) {
    std::string strText;
    for (int i = 0; i < 20000; ++i) strText += "[s" + std::to_string(i) + "]\nk=" + std::to_string(i) + "\n";
    EXPECT_EQ(ReadValue(strText, "s19999", "k", "", 2048), "19999");
    std::string strOut;
    ASSERT_TRUE(WriteValue(strText, "s0", "k", "x", strOut));
    EXPECT_EQ(strOut.size(), strText.size() + 40000);  // every LF became CR LF
    EXPECT_EQ(ReadValue(strOut, "s0", "k", "", 2048), "x");
    EXPECT_EQ(ReadValue(strOut, "s12345", "k", "", 2048), "12345");
}

}  // namespace
