#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "fuzz/FastPathCheck.h"
#include "refresh/VisibleText.h"
#include "support/TestSupport.h"

namespace {

struct VisibleCase { std::string strIn; std::string strOut; };

TEST(VisibleText, Reduction) {
    const VisibleCase cases[] = {
        {"", ""}, {"&lt;b&gt;Hi&lt;/b&gt; there", "Hithere"}, {"<p>Hello, world</p>", "Hello,world"},
        {"<p> </p>", "<p></p>"},  // nothing visible: the text without blanks
        {" \t\r\n\xa1\xa1 \xa1\xa1\t", ""}, {"1 < 2", "1"}, {"a&amp;b&nbsp;c", "a&amp;b&nbsp;c"}, {"x&lt;y z", "x"},
        {"&gt;a", "a"}, {"&l&lt&g &gt", "&l&lt&g&gt"}, {"&&lt;gt;b", "&"}, {"a<b\n>c\td", "acd"},
        // Code page 936: A1 A1 only goes when it is one character.
        {"\xb0\xa1\xa1\xa2", "\xb0\xa1\xa1\xa2"}, {"\xa1\xa1\xa1", "\xa1"},
        {"\xb0 \xa1\xa1\xa2", "\xb0\xa1\xa1\xa2"},    // the space goes before the pairing
        {"\xb0\t\xa1\xa1", "\xb0"},                    // the tab goes after it
        {"\xa1 \xa1x", "x"}, {"\xd6\xd0 \xce\xc4", "\xd6\xd0\xce\xc4"},
        {"\xd6\xd0<b>\xce\xc4</b>", "\xd6\xd0\xce\xc4"},
        {"\x81 ", "\x81"},                             // lone lead at the end
        {"a\xa1<b>\xa1" "A", "a\xa1\xa1" "A"},
        // A long page. Long runs, which the reduction takes sixteen bytes at a
        // time, are FastPathsAgreeWithPlainWalks below.
        {Repeat("<td class=\"c\">\xd6\xd0 7&lt;i&gt;x&lt;/i&gt;</td>\r\n", 20000), Repeat("\xd6\xd0" "7x", 20000)},
    };
    for (const VisibleCase& c : cases)
        EXPECT_EQ(ExtractVisibleText(c.strIn), c.strOut) << testing::PrintToString(c.strIn);
}

// A result is mostly its own reduction, markup only among them (the
// exception, a full-width space whose halves the markup held apart: the
// judge's cache case). The quick test that lets the cache take a result
// without a second reduction holds for these texts, which the reduction gives
// back; that it fails wherever the reduction changes a text is checked at
// every block offset by FastPathsAgreeWithPlainWalks.
TEST(VisibleText, SecondPass) {
    const std::string keeps[] = {"", "Hello,world", "a&amp;b", "&l&g;t", "\xd6\xd0\xa1\xa3x", "<p></p>", ">",
                                 std::string("a\0b\x01\x7f\xff", 6), std::string(40, 'x') + "\xa1", Repeat("<a>", 9)};
    for (const std::string& s : keeps) {
        EXPECT_TRUE(ReductionKeeps(s)) << testing::PrintToString(s);
        EXPECT_EQ(ExtractVisibleTextPlain(s), s) << testing::PrintToString(s);
    }
}

// Inputs for the fast paths: each piece at every offset from 0 to 33 behind a
// run of one filler (so that it meets the sixteen-byte block edges at 15, 16
// and 17), then more filler; a few long runs; and seeded random strings of
// the same pieces and single bytes.
std::vector<std::string> FastPathInputs() {
    const std::string pieces[] = {
        "<", ">", "&", "&lt;", "&gt;", "&l", "&g", "&lt", "\xa1\xa1", "\xa1", "\x81", "\xfe\x40", "\xd6\xd0",
        "\xd6", "\xe4\xb8\xad", "\xe4\xb8", "\xe4\xb8\xad\xe4\xb8", "\xe0\xa0\x80", "\xed\x9f\xbf",
        "\xed\xa0\x80", "\xf0\x9f\x98\x80", "\xc3", "\xc3\xa9", "\x80", "\xff", "</script>", "<script ",
        "\t", " ", "\r\n", std::string(1, '\0'), "\x7f", "\xb0\x20\xa1\xa1", "\xb0\x09\xa1\xa1",
    };
    const std::string fillers[] = {"a", " ", "\xd6", "\xd6\xd0", "\xa1", "\t", "<", "\xe4\xb8\xad"};
    std::vector<std::string> inputs;
    for (const std::string& strPiece : pieces)
        for (const std::string& strFill : fillers)
            for (int k = 0; k <= 33; ++k) inputs.push_back(Repeat(strFill, k) + strPiece + Repeat(strFill, 20));
    inputs.push_back(std::string(300, ' ') + "x" + std::string(300, '\t') + "\xd6");
    inputs.push_back("<" + Repeat("a&amp;", 40) + std::string(100, 'b') + ">x&gt;y" + std::string(90, '\n'));
    inputs.push_back("<a>" + Repeat("\xd6\xd0", 40) + "\xd6<" + std::string(70, 'c'));  // no end of tag
    inputs.push_back(Repeat("ab cd\tef\r\ngh  ", 12) + "&lt;" + Repeat("ij kl ", 12));
    std::mt19937 random(10);
    for (int n = 0; n < 3000; ++n) {
        std::string s;
        for (int nParts = static_cast<int>(random() % 40); nParts > 0; --nParts) {
            if (random() % 3 == 0) s += static_cast<char>(random() % 256);
            else s += pieces[random() % (sizeof pieces / sizeof pieces[0])];
        }
        inputs.push_back(s);
    }
    return inputs;
}

// Each fast path (reduction, tag search, UTF-8 test, conversion, on Windows
// also in small pieces) gives the bytes of its plain reference.
TEST(VisibleText, FastPathsAgreeWithPlainWalks) {
    for (const std::string& s : FastPathInputs()) {
        const char* pPair = FastPathDisagreement(s, s.substr(0, 3));
        EXPECT_EQ(pPair, nullptr) << pPair << " on " << testing::PrintToString(s);
    }
}

}  // namespace
