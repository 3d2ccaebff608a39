#include <gtest/gtest.h>

#include <string>

#include "http/CharSet.h"
#include "log/LogWriter.h"
#include "refresh/Judge.h"
#include "support/LogDirTest.h"

namespace {

const std::string kNoServer = "(\xce\xde\xb7\xa8\xc1\xac\xbd\xd3\xb5\xbd\xb7\xfe\xce\xf1\xc6\xf7)";  // (无法连接到服务器)
const std::string kNoData = "(\xce\xde\xca\xfd\xbe\xdd)";  // (无数据)

struct ReplaceCase { std::string strText, strStart, strEnd, strResult; };

TEST(Judge, ReplaceTagContent) {
    const ReplaceCase cases[] = {
        {"a<script type=x>f()</script>b", "<script ", "</script>", "a<script ></script>b"},
        {"a<script>f()</script>b", "<script ", "</script>", "a<script>f()<script ></script>b"},
        {"<script a>1</script><script b>2</script>", "<script ", "</script>",
         "<script ></script><script b>2</script>"},
        // The end tag before the start tag: the bytes between appear twice.
        {"</script>x<script a>", "<script ", "</script>", "</script>x<script ></script>x<script a>"},
        {"no end tag <script a>", "<script ", "</script>", "no end tag <script a>"},
        // A match never begins on the second byte of a character: B0 A1 is one.
        {"\xb0\xa1\xa1\xa1" "cut" "E!", "\xa1\xa1", "E", "\xb0\xa1\xa1\xa1>E!"},
        {"\xb0\xa1\xa1!", "\xa1\xa1", "!", "\xb0\xa1\xa1\xa1\xa1>!"},
        {"x\xb0" "E.E!", "<", "E", "x\xb0" "E.<>E!"},  // B0 45 is one character
    };
    for (const ReplaceCase& c : cases) {
        std::string s = c.strText;
        ReplaceTagContent(s, c.strStart, c.strEnd, ">");
        EXPECT_EQ(s, c.strResult) << c.strText;
    }
}

using JudgeFiles = CLogDirTest;

// The cache file holds strCache, when given, else the result.
struct JudgeCase { int nStatus; std::string strBody, strResult, strCache = ""; };

TEST_F(JudgeFiles, ResultTexts) {
    const JudgeCase cases[] = {
        {404, "<p>Not here</p>", "(404)"}, {404, "", "(404)"}, {0, "<p>\xe4\xb8\xad</p>", kNoServer},
        {0, "", kNoServer}, {200, "", kNoData}, {200, " \t\r\n\xa1\xa1", kNoData},
        {200, " \t\xe3\x80\x80\r\n", kNoData},  // a full-width space in UTF-8
        {500, "<html><body>Error</body></html>", "Error"},
        {200, "<p>\xe4\xb8\xad\xe6\x96\x87</p>", "\xd6\xd0\xce\xc4"},  // 中文
        {302, "<p>\xd6\xd0\xce\xc4</p>", "\xd6\xd0\xce\xc4"},         // already code page 936
        {200, "<html>\n<body>\n</body>\n</html>", "<html><body></body></html>"},
        {200, "a<script type=x>f()</script>b", "ab"}, {200, "<SCRIPT src=x>f()</SCRIPT>", "f()"},
        {200, "a<script>f()</script>b", "af()b"}, {200, "<script a>x()</script><script b>y()</script>", "y()"},
        {200, "x<iframe src=y>z</iframe>w", "xw"},
        {200, "a\xf0\x9f\x98\x80", "a\xf0\x9f\x98\x80"},  // not UTF-8 by the rules: kept
        {-1, "body", "body"},
        // The markup between the two halves of a full-width space is gone from
        // the result; the cache's second reduction takes the space out.
        {200, "\xa1<b>\xa1" "A", "\xa1\xa1" "A", "A"},
    };
    CLogWriter writer;
    CCharSet charSet;
    for (const JudgeCase& c : cases) {
        std::string s = c.strBody;
        JudgeAnswer(c.nStatus, s, &c == cases ? 1 : 0, writer, charSet);  // the daily log for the first only
        EXPECT_EQ(s, c.strResult) << c.nStatus << " " << c.strBody;
        const std::string& strCache = c.strCache.empty() ? c.strResult : c.strCache;
        EXPECT_EQ(ReadLog("cache.txt"), "2026-03-07 09:05:02 " + std::to_string(c.nStatus) + " " + strCache);
    }
    EXPECT_EQ(ReadLog("2026-03-07.log"), "2026-03-07 09:05:02 404 (404)\r\n");
}

}  // namespace
