#include <gtest/gtest.h>

#include <string>

#include "refresh/VisibleText.h"

namespace {

std::string Repeat(const std::string& str, int nTimes) {
    std::string strOut;
    for (int i = 0; i < nTimes; ++i) strOut += str;
    return strOut;
}

struct VisibleCase {
    std::string strIn;
    std::string strOut;
};

TEST(VisibleText, Reduction) {
    const std::string strGbk = "\xd6\xd0\xce\xc4";  // 中文
    const VisibleCase cases[] = {
        {"", ""},
        {"&lt;b&gt;Hi&lt;/b&gt; there", "Hithere"},
        {"<p>Hello, world</p>", "Hello,world"},
        {"<p> </p>", "<p></p>"},  // nothing visible: the text without blanks
        {"<html>\r\n<body>\r\n</body>\r\n</html>\r\n", "<html><body></body></html>"},
        {" \t\r\n\xa1\xa1 \xa1\xa1\t", ""},
        {"1 < 2", "1"},
        {"a&amp;b&nbsp;c", "a&amp;b&nbsp;c"},
        {"x&lt;y z", "x"},
        {"&gt;a", "a"},
        {"&l&lt&g &gt", "&l&lt&g&gt"},
        {"&&lt;gt;b", "&"},
        {"a<b\n>c\td", "acd"},
        // Code page 936: A1 A1 only goes when it is one character.
        {"\xb0\xa1\xa1\xa2", "\xb0\xa1\xa1\xa2"},
        {"\xa1\xa1\xa1", "\xa1"},
        {"\xb0 \xa1\xa1\xa2", "\xb0\xa1\xa1\xa2"},    // the space goes before the pairing
        {"\xb0\t\xa1\xa1", "\xb0"},                    // the tab goes after it
        {"\xa1 \xa1x", "x"},
        {"\xd6\xd0 \xce\xc4", "\xd6\xd0\xce\xc4"},
        {"\xd6\xd0<b>\xce\xc4</b>", "\xd6\xd0\xce\xc4"},
        {"\x81 ", "\x81"},                             // lone lead at the end
        {"a\xa1<b>\xa1" "A", "a\xa1\xa1" "A"},
        // Long runs, which the reduction takes sixteen bytes at a time.
        {"<p>" + Repeat("The quick  brown\tfox\r\n jumps over", 20) + "</p>",
         Repeat("Thequickbrownfoxjumpsover", 20)},
        {Repeat("a\x01 b\x1f\tc  ", 30), Repeat("a\x01" "b\x1f" "c", 30)},  // control bytes stay
        {std::string(40, ' ') + "<b>" + std::string(40, ' ') + "\t<i>" + std::string(50, '\n'), "<b><i>"},
        {std::string(70, ' ') + "x" + std::string(70, ' '), "x"},
        {Repeat(strGbk, 6) + "\xa1\xa1" + Repeat(strGbk, 6), Repeat(strGbk, 12)},
        {"x" + Repeat(strGbk, 6) + "\xa1\xa1" + Repeat(strGbk, 6), "x" + Repeat(strGbk, 12)},
        {Repeat(strGbk, 5) + "\xb0\xa1\xa1\xa2" + Repeat(strGbk, 5),
         Repeat(strGbk, 5) + "\xb0\xa1\xa1\xa2" + Repeat(strGbk, 5)},
        {Repeat(strGbk, 4) + "\x81" "a b" + Repeat(strGbk, 4), Repeat(strGbk, 4) + "\x81" "ab" + Repeat(strGbk, 4)},
        {Repeat(strGbk, 4) + "\xd6 \xa1\xa1" + Repeat(strGbk, 4), Repeat(strGbk, 4) + "\xd6\xa1\xa1" + Repeat(strGbk, 4)},
        {Repeat("<td class=\"c\">\xd6\xd0 7&lt;i&gt;x&lt;/i&gt;</td>\r\n", 20000), Repeat("\xd6\xd0" "7x", 20000)},
    };
    for (const VisibleCase& c : cases) {
        EXPECT_EQ(ExtractVisibleText(c.strIn), c.strOut) << testing::PrintToString(c.strIn);
    }
}

TEST(VisibleText, SecondPass) {
    // A result without markup is its own reduction; a markup-only result too.
    const char* const texts[] = {"<p>Hello, world</p>", "<p> </p>", "\xd6\xd0 <i>x</i>", "a&amp;b"};
    for (const char* sz : texts) {
        std::string strOnce = ExtractVisibleText(sz);
        EXPECT_EQ(ExtractVisibleText(strOnce), strOnce) << sz;
    }
    // Except where dropping markup brought the two halves of a full-width
    // space together: the second pass takes them out.
    EXPECT_EQ(ExtractVisibleText(ExtractVisibleText("\xa1<b>\xa1" "A")), "A");
}

}  // namespace
