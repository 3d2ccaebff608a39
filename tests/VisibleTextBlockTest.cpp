// Long runs that the reduction takes sixteen bytes at a time: blanks inside
// plain text, whole double-byte characters, a page with nothing visible.
#include <gtest/gtest.h>

#include <string>

#include "refresh/VisibleText.h"

namespace {

std::string Repeat(const std::string& str, int nTimes) {
    std::string strOut;
    for (int i = 0; i < nTimes; ++i) strOut += str;
    return strOut;
}

struct BlockCase {
    std::string strIn;
    std::string strOut;
};

TEST(VisibleTextBlocks, LongRuns) {
    const std::string strGbk = "\xd6\xd0\xce\xc4";  // 中文
    const BlockCase cases[] = {
        // Blanks between words, then a tag: runs between blanks are copied.
        {"<p>" + Repeat("The quick  brown\tfox\r\n jumps over", 20) + "</p>",
         Repeat("Thequickbrownfoxjumpsover", 20)},
        // Control bytes other than blanks stay.
        {Repeat("a\x01 b\x1f\tc  ", 30), Repeat("a\x01" "b\x1f" "c", 30)},
        // Nothing visible after long blanks: the text without blanks, whole.
        {std::string(40, ' ') + "<b>" + std::string(40, ' ') + "\t<i>" + std::string(50, '\n'), "<b><i>"},
        {"<b>" + std::string(60, ' ') + "<i>", "<b><i>"},
        {std::string(70, ' ') + "x" + std::string(70, ' '), "x"},
        // Full-width spaces go only where a character begins.
        {Repeat(strGbk, 6) + "\xa1\xa1" + Repeat(strGbk, 6), Repeat(strGbk, 12)},
        {"x" + Repeat(strGbk, 6) + "\xa1\xa1" + Repeat(strGbk, 6), "x" + Repeat(strGbk, 12)},
        {Repeat(strGbk, 5) + "\xb0\xa1\xa1\xa2" + Repeat(strGbk, 5),
         Repeat(strGbk, 5) + "\xb0\xa1\xa1\xa2" + Repeat(strGbk, 5)},
        // A lead byte pairs with the ASCII byte after it.
        {Repeat(strGbk, 4) + "\x81" "a b" + Repeat(strGbk, 4), Repeat(strGbk, 4) + "\x81" "ab" + Repeat(strGbk, 4)},
        {Repeat(strGbk, 4) + "\xd6 \xa1\xa1" + Repeat(strGbk, 4), Repeat(strGbk, 4) + "\xd6\xa1\xa1" + Repeat(strGbk, 4)},
    };
    for (const BlockCase& c : cases) {
        EXPECT_EQ(ExtractVisibleText(c.strIn), c.strOut) << testing::PrintToString(c.strIn);
    }
}

}  // namespace
