// The INI engine on texts (the Linux build's; its profile functions stand
// on it). Reads and writes of particular files are
// compared with the Windows profile functions by the corpus test
// (tests/ini-probe/, tests/ini-corpus/), also values cut to small buffers
// and defaults; these are the properties it cannot show: random files, a
// large file, and the rules of a read once more, so that a change to them
// fails without Wine too. The Linux registry store's text engine has its
// table at the end.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>

#include "platform/posix/IniText.h"
#include "platform/posix/RegStoreText.h"

namespace {

using platform::ini::ReadValue;
using platform::ini::WriteValue;

// Random files of awkward bytes: a written value reads back, a second write
// of it changes nothing, and other keys keep their values.
TEST(IniText, WrittenValueReadsBackInAnyFile) {
    const char kAlphabet[] = "[]=;\"' \t\r\nSskK\x81\xa1\xd6\xd0\x5c\x7f\xff\x00";
    std::minstd_rand random(12345);
    for (int n = 0; n < 3000; ++n) {
        std::string strText, strFirst, strSecond, strThird;
        for (size_t i = random() % 60; i > 0; --i) strText += kAlphabet[random() % (sizeof kAlphabet - 1)];
        ASSERT_TRUE(WriteValue(strText, "S", "k", "v1", strFirst)) << n;
        EXPECT_EQ(ReadValue(strFirst, "S", "k", "", 2048), "v1") << n;
        EXPECT_FALSE(WriteValue(strFirst, "s", "K", "v1", strSecond)) << n;
        ASSERT_TRUE(WriteValue(strFirst, "T", "j", "v2", strThird)) << n;
        EXPECT_EQ(ReadValue(strThird, "S", "k", "", 2048), "v1") << n;
        EXPECT_EQ(ReadValue(strThird, "T", "j", "", 2048), "v2") << n;
    }
}

TEST(IniText, LargeFileKeepsEveryEntry) {
    std::string strText, strOut;
    for (int i = 0; i < 20000; ++i) strText += "[s" + std::to_string(i) + "]\nk=" + std::to_string(i) + "\n";
    EXPECT_EQ(ReadValue(strText, "s19999", "k", "", 2048), "19999");
    ASSERT_TRUE(WriteValue(strText, "s0", "k", "x", strOut));
    EXPECT_EQ(strOut.size(), strText.size() + 40000);  // every LF became CR LF
    EXPECT_EQ(ReadValue(strOut, "s0", "k", "", 2048), "x");
    EXPECT_EQ(ReadValue(strOut, "s12345", "k", "", 2048), "12345");
}

// The value read for k in section S of "[S]\n" + the row's lines (cut to
// 2047 bytes, "-" when missing); each row names the fault it catches.
TEST(IniText, ReadsTheValueThatAnswers) {
    const std::string strA(2046, 'a'), strC(2047, 'c');
    const struct { const char* szFault; std::string strLines, strRead; } cases[] = {
        {"double quotes kept", "k=\"abc\"", "abc"}, {"single quotes kept", "k='abc'", "abc"},
        {"blanks within quotes lost", "k= \" sp \" ", " sp "}, {"empty quotes kept", "k=''", ""},
        {"more than one pair taken off", "k=\"\"x\"\"", "\"x\""}, {"a lone quote taken off", "k=\"", "\""},
        {"unlike quotes taken off", "k='abc\"", "'abc\""}, {"Ctrl-Z no blank", "k\x1a=\x1a" "v\x1a", "v"},
        {"cut before the quotes go", "k=\"" + strC + "c\"", strC}, {"a later entry answers", "k=1\nK=2", "1"},
        {"a character cut in two", "k=" + strA + "\xd6\xd0", strA}, {"a later section answers", "j=1\n[s]\nk=2", "-"},
    };
    for (const auto& c : cases) EXPECT_EQ(ReadValue("[S]\n" + c.strLines, "S", "k", "-", 2048), c.strRead) << c.szFault;
}

// Registry store: each row names the fault it catches.
TEST(RegStoreText, ReadsNumbers) {
    // The fault, the store and the number read ("none": no number).
    const struct { const char *szFault, *szStore, *szRead; } cases[] = {
        {"decimal not read", "[K]\nStart = 10\n", "10"}, {"leading zero read as octal", "[K]\nStart = 010\n", "10"},
        {"hexadecimal not read", "[K]\nStart = 0X1f\n", "31"}, {"sign lost", "[K]\nStart = -0x10\n", "-16"},
        {"lowest number refused", "[K]\nStart = -2147483648\n", "-2147483648"},
        {"32-bit pattern refused", "[K]\nStart = 4294967295\n", "-1"},
        {"overflow wrapped", "[K]\nStart = 4294967296\n", "none"},
        {"negative overflow wrapped", "[K]\nStart = -2147483649\n", "none"},
        {"blank inside a number skipped", "[K]\nStart = 1 0\n", "none"},
        {"bare 0x read as zero", "[K]\nStart = 0x\n", "none"},
        {"text read as a number", "[K]\nStart = \"10\"\n", "none"},
        {"letter case of names matters", "[k]\nSTART = 3\n", "3"},
        {"CR LF lines not read", "[K]\r\nStart = 5\r\n", "5"},
        {"comment read as a value", "[K]\n#Start = 1\n; Start = 2\nStart = 3\n", "3"},
        {"later key's value taken", "[K]\n[L]\nStart = 1\n", "none"},
        {"second value of a name answers", "[K]\nStart = 1\nStart = 2\n", "1"},
    };
    for (const auto& c : cases) {
        int32_t nValue = 0;
        const bool bFound = platform::regstore::ReadNumber(c.szStore, "K", "Start", nValue);
        EXPECT_EQ(bFound ? std::to_string(nValue) : "none", c.szRead) << c.szFault;
    }
}

TEST(RegStoreText, WritesValuesWhereTheyBelong) {
    const struct { const char *szFault, *szStore, *szName, *szData, *szExpected; } cases[] = {
        {"value not replaced in place", "[K]\nA = 1\n\n[L]\n", "a", "2", "[K]\na = 2\n\n[L]\n"},
        {"new value not after the key's last line", "[K]\nA = 1\n\n[L]\nB = 1\n", "C", "3",
         "[K]\nA = 1\nC = 3\n\n[L]\nB = 1\n"},
        {"new key not set apart by a blank line", "# admin\n", "A", "1", "# admin\n\n[K]\nA = 1\n"},
        {"lines without LF lost", "[K]\nA = 1", "B", "2", "[K]\nA = 1\nB = 2\n"},
        {"other keys' lines touched", "[L]\r\nA=1\r\n", "A", "9", "[L]\r\nA=1\r\n\n[K]\nA = 9\n"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(platform::regstore::SetValue(c.szStore, true, "K", c.szName, c.szData), c.szExpected)
            << c.szFault;
    }
    // A new store starts with a comment; a key that is there is not added again.
    std::string strNew = platform::regstore::SetValue("", false, "K", "A", "1");
    EXPECT_EQ(strNew.front(), '#');
    EXPECT_EQ(strNew.substr(strNew.find("\n[K]") + 1), "[K]\nA = 1\n");
    std::string strOut = "untouched";
    EXPECT_FALSE(platform::regstore::AddKey("[k]\n", true, "K", strOut));
    EXPECT_EQ(strOut, "untouched");
    EXPECT_EQ(platform::regstore::TextData("x", true), "expand:\"x\"");
    EXPECT_EQ(platform::regstore::NumberData(0xFFFFFFFFu), "-1");
}

}  // namespace
