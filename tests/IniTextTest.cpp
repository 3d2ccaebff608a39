// The portable INI engine on texts (both builds compile it; the Linux build's
// profile functions stand on it). The full comparison with the Windows
// profile functions is the corpus test in tests/ini-probe/.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "platform/IniText.h"

namespace {

using platform::ini::ReadValue;
using platform::ini::WriteValue;

TEST(IniText, Reads) {
    struct {
        const char* szText;
        const char* szSection;
        const char* szKey;
        std::string strExpected;
    } const cases[] = {
        {"[S]\r\nk=v\r\n", "S", "k", "v"},
        {"[Sec]\nKey=v\n", "sEC", "kEY", "v"},                 // letter case
        {"[S]\n \tk \t= \t a b \t\n", "S", "k", "a b"},        // blanks
        {"[ S ]junk\nk=v\n", "S", "k", "v"},                   // header forms
        {"[S]\nk=\"q v\"\n", "S", "k", "q v"},                 // quotes
        {"[S]\nk=\"q'\n", "S", "k", "\"q'"},
        {"[S]\nk=1\n[s]\nk=2\nj=3\n", "S", "j", "D"},          // first section answers
        {"[S]\n;k=1\n", "S", ";k", "1"},                       // ';' starts a name
        {"[S]\nk\n", "S", "k", "D"},                           // no '=': no value
        {"[S]\rk=v", "S", "k", "v"},                           // bare CR, no final end
        {"top=1\n[S]\n", "", "top", "1"},
        {"[S]\nk=\x81\n", "S", "k", "?"},                      // lead byte alone
        {"[S]\nk=\x81\nj=2\n", "S", "j", "D"},                 // ... takes the LF with it
        {"[S]\nk=\xd6\xd0\x80\xff\n", "S", "k", "\xd6\xd0\x80\xff"},
        {"[\x81\x5d]\nk=v\n", "\x81]", "k", "v"},              // trail byte 0x5D is no ']'
        {"[S]\n\x81" "a=1\n", "S", "\x81" "A", "D"},           // ... and 0x41 no letter
        {"\xef\xbb\xbf[S]\nk=v\n", "S", "k", "v"},             // UTF-8 byte order mark
    };
    for (const auto& c : cases)
        EXPECT_EQ(ReadValue(c.szText, c.szSection, c.szKey, "D", 2048), c.strExpected) << c.szText;
}

TEST(IniText, ReadsCutToWholeCharacters) {
    std::string strText = "[S]\nk=ab\xd6\xd0" "cd\n";
    const struct {
        size_t nSize;
        const char* szExpected;
    } cases[] = {{0, ""}, {1, ""}, {3, "ab"}, {4, "ab"}, {5, "ab\xd6\xd0"}, {100, "ab\xd6\xd0" "cd"}};
    for (const auto& c : cases) EXPECT_EQ(ReadValue(strText, "S", "k", "", c.nSize), c.szExpected);
    EXPECT_EQ(ReadValue(strText, "S", "none", "def  ", 100), "def");
}

TEST(IniText, WritesTheWholeFileInOneForm) {
    struct {
        const char* szText;
        const char* szSection;
        const char* szKey;
        const char* szValue;
        const char* szExpected;
    } const cases[] = {
        {"", "S", "k", "v", "[S]\r\nk=v\r\n"},
        {";notice\r\n", "S", "k", "v", ";notice\r\n[S]\r\nk=v\r\n"},
        {"[S]\nk=1\n\n[T]\nx=1", "s", "K", "2", "[S]\r\nk=2\r\n[T]\r\nx=1\r\n"},
        {"[S]\n k = 1 \n;c\n[T]\n", "S", "n", "3", "[S]\r\nk=1\r\n;c\r\nn=3\r\n[T]\r\n"},
        {"[S]\nk=1\n[s]\nj=2\n", "S", "j", "3", "[S]\r\nk=1\r\nj=3\r\n[s]\r\nj=2\r\n"},
        {"[S]\nnoeq\n", "S", "noeq", "", "[S]\r\nnoeq=\r\n"},
        {"[S]\n", " T ", " k ", "  v  ", "[S]\r\n[T ]\r\nk =v  \r\n"},
        {"[]\nk=1\n", "S", "j", "2", "k=1\r\n[S]\r\nj=2\r\n"},
        {"=a\n=b\n", "S", "k", "1", "=a\r\n[S]\r\nk=1\r\n"},
        {"[S]\nk=\x81\x30\n", "S", "j", "\xa1\xff" "a\x81", "[S]\r\nk=?\r\nj=?a\r\n"},
        {"\xef\xbb\xbf[S]\n", "S", "k", "v", "\xef\xbb\xbf[S]\r\nk=v\r\n"},
    };
    for (const auto& c : cases) {
        std::string strOut;
        EXPECT_TRUE(WriteValue(c.szText, c.szSection, c.szKey, c.szValue, strOut)) << c.szText;
        EXPECT_EQ(strOut, c.szExpected) << c.szText;
    }
}

TEST(IniText, WriteOfTheSameValueChangesNothing) {
    const char* const texts[] = {"[S]\n k = v \n", "[s]\nK=v\r\n\r\n", "[S]\nk=\"v\"x\n"};
    const char* const values[] = {"v", " v", "\"v\"x"};
    for (size_t i = 0; i < 3; ++i) {
        std::string strOut = "untouched";
        EXPECT_FALSE(WriteValue(texts[i], "S", "k", values[i], strOut)) << texts[i];
        EXPECT_EQ(strOut, "untouched");
    }
    std::string strOut;
    EXPECT_TRUE(WriteValue("[S]\nk=v\n", "S", "k", "V", strOut));
    EXPECT_TRUE(WriteValue("[S]\nk=v\n", "S", "k", "v ", strOut));
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
