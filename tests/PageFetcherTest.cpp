// The parts of a page request that need no network, on both builds.
#include <gtest/gtest.h>

#include "http/PageFetcher.h"
#include "http/PageText.h"
#include "platform/Http.h"
#include "platform/Platform.h"

namespace {

TEST(PageRequest, SecureFlag) {
    const struct { const char* szUrl; bool bSecure; } cases[] = {
        {" \thttps://a/ ", true}, {"HtTpS://a", true}, {"http://a/?u=https://b", false},
        {"https:/a", false},      {"xhttps://a", false}, {"", false},
    };
    for (const auto& c : cases) EXPECT_EQ(IsSecureAddress(c.szUrl), c.bSecure) << c.szUrl;
}

// Host, port and request target, or "refused".
TEST(PageRequest, SplitAddress) {
    const struct { const char* szUrl; const char* szSplit; } cases[] = {
        {"http://example.com/news/list.asp?page=2", "example.com 80 /news/list.asp?page=2"},
        {"https://example.com", "example.com 443 /"}, {"http://example.com?a=1", "example.com 80 /?a=1"},
        {"HTTP://Example.com:8080/x", "Example.com 8080 /x"}, {"  https://h:444/p  ", "h 444 /p"},
        {"http://user:pw@h/p", "h 80 /p"}, {"http://h:/p", "h 80 /p"}, {"http://h:81", "h 81 /"},
        {"http://[::1]:81/p", "::1 81 /p"}, {"http://h/a b?c d#frag", "h 80 /a%20b?c%20d"},
        {"http://h/\xd6\xd0", "h 80 /%D6%D0"},  // 中
        {"http://h#x", "h 80 /"},
        // The canonical path: dot segments resolved, backslashes as slashes;
        // the query as written.
        {"http://h/dots/../x", "h 80 /x"}, {"http://h/d/./x", "h 80 /d/x"}, {"http://h/d\\x", "h 80 /d/x"},
        {"http://h/a/b/../../../c?q=/../.\\", "h 80 /c?q=/../.\\"}, {"http://h/d/.", "h 80 /d/"},
        {"http://h/d/e/..", "h 80 /d/"}, {"http://h/..", "h 80 /"},
        {"http://h/a//b/.../.x/x.", "h 80 /a//b/.../.x/x."}, {"http://h/./a b/../%2e%2e/c", "h 80 /%2e%2e/c"},
        {"http://h:0/", "refused"}, {"http://h:65536/", "refused"}, {"http://h:8x/", "refused"},
        {"http:///p", "refused"}, {"http://[::1/p", "refused"}, {"ftp://h/p", "refused"}, {"h/p", "refused"},
    };
    auto split = [](const std::string& strUrl) {
        platform::SHttpTarget t;
        if (!SplitAddress(strUrl, t)) return std::string("refused");
        return t.strHost + " " + std::to_string(t.nPort) + " " + t.strObject;
    };
    for (const auto& c : cases) EXPECT_EQ(split(c.szUrl), c.szSplit) << c.szUrl;
    EXPECT_EQ(split("http://" + std::string(2085, 'h') + "/"), "refused");
    EXPECT_EQ(split("http://" + std::string(2084, 'h') + "/"), std::string(2084, 'h') + " 80 /");
}

TEST(PageRequest, CacheBuster) {
    const struct { const char* szObject; int64_t tNow; const char* szResult; } cases[] = {
        {"/page", 1700000000, "/page?vlmrnd=1700000000"}, {"/page?a=1", 1700000000, "/page?a=1&vlmrnd=1700000000"},
        {"/", 2147483647, "/?vlmrnd=2147483647"}, {"/", 2147483648LL, "/?vlmrnd=-2147483648"},
        {"/", 4294967295LL, "/?vlmrnd=-1"}, {"/", 4294967296LL + 12, "/?vlmrnd=12"},
    };
    for (const auto& c : cases) {
        std::string strObject = c.szObject;
        AddCacheBuster(strObject, c.tNow);
        EXPECT_EQ(strObject, c.szResult);
    }
}

TEST(PageRequest, StatusLine) {
    const struct { const char* szLine; int nStatus; } cases[] = {
        {"HTTP/1.1 200 OK\r\n", 200}, {"HTTP/1.0 404\r\n", 404},   {"HTTP/1.1  301 Moved", 301},
        {"HTTP/2 500", 500},            {"HTTP/1.1 1000 Odd\r\n", 0}, {"HTTP/1.1 20 OK", 0},
        {"HTTP/1.1 2x0 OK", 0},         {"HTTP/ 200 OK", 0},           {"HTTP/1.1\r\n", 0},
        {"<html>200</html>", 0},        {"http/1.1 200 OK", 0},        {"", 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(platform::ParseHttpStatusLine(c.szLine, std::string(c.szLine).size()), c.nStatus) << c.szLine;
}

// Only printable ASCII of the executable's name goes into the request.
TEST(PageRequest, AgentName) {
    const struct { std::string strFile; const char* szAgent; } cases[] = {
        {"VlmRefreshSvc.exe", "VlmRefreshSvc"}, {"Vlm\r\nX-Injected: 1.exe", "VlmX-Injected: 1"},
        {std::string("Vl\x01m\tR\x7f\x1b.", 9) + "exe", "VlmR"},
        {"\xcb\xa2\xd0\xc2Svc.exe", "Svc"},  // 刷新Svc
    };
    for (const auto& c : cases)
        EXPECT_EQ(MakeAgentName(std::string("dir") + platform::kPathSep + c.strFile), c.szAgent) << c.strFile;
}

// Feeds the body in pieces of every size from 1 to 5 bytes, so that line
// ends and zero bytes fall on every boundary.
std::string BuildPage(const std::string& strBody, size_t nPiece, bool bComplete) {
    CPageTextBuilder builder;
    for (size_t i = 0; i < strBody.size(); i += nPiece)
        builder.OnBody(strBody.data() + i, std::min(nPiece, strBody.size() - i));
    builder.Finish(bComplete);
    return builder.Text();
}

TEST(PageRequest, PageText) {
    const struct { std::string strBody; bool bComplete; std::string strPage; } cases[] = {
        {"a\r\nb\r\n", true, "\r\na\r\nb"}, {"\n\n", true, "\r\n\r\n"}, {"\r", true, "\r\n"},
        {"a\rb\r\r\nc", true, "\r\nab\r\nc"}, {std::string("ab\0cd\nef", 8), true, "\r\nab\r\nef"},
        {std::string("\0\n\0", 3), true, "\r\n\r\n"}, {std::string("a\r\0b\rc\n\rd\re", 12), true, "\r\na\r\nde"},
        {"one\ntwo\nthr", false, "\r\none\r\ntwo"}, {"partial", false, ""},
    };
    for (const auto& c : cases) {
        for (size_t nPiece = 1; nPiece <= 5; ++nPiece)
            EXPECT_EQ(BuildPage(c.strBody, nPiece, c.bComplete), c.strPage) << c.strBody << " / " << nPiece;
    }
}

}  // namespace
