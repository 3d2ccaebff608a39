#ifndef _WIN32

#include "support/HttpScenarios.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>

const char kUntouchedPage[] = "(page before the fetch)";

namespace {

using EBody = SHttpAnswer::EBody;

// A port on 127.0.0.1 that was free a moment ago: connecting to it is refused.
uint16_t FindRefusedPort() {
    int nSocket = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t nLen = sizeof addr;
    uint16_t nPort = 0;
    if (bind(nSocket, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
        getsockname(nSocket, reinterpret_cast<sockaddr*>(&addr), &nLen) == 0)
        nPort = ntohs(addr.sin_port);
    close(nSocket);
    return nPort;
}

SHttpAnswer Body(const std::string& strBody, EBody eBody = EBody::kLength) {
    SHttpAnswer a;
    a.strBody = strBody;
    a.eBody = eBody;
    return a;
}

SHttpAnswer Status(int nStatus, const std::string& strReason, const std::string& strBody) {
    SHttpAnswer a = Body(strBody);
    a.nStatus = nStatus;
    a.strReason = strReason;
    return a;
}

SHttpAnswer Redirect(int nStatus, const std::string& strLocation) {
    SHttpAnswer a = Status(nStatus, "Moved", "moved elsewhere\n");
    a.headers.push_back("Location: " + strLocation);
    return a;
}

SHttpScenario Ok(const std::string& strName, const std::string& strPath, const SHttpAnswer& a,
                 const std::string& strPage) {
    SHttpScenario sc;
    sc.strName = strName;
    sc.strPath = strPath;
    sc.answer = a;
    sc.strUrl = "{http}" + strPath;
    sc.strPage = strPage;
    sc.strTarget = strPath;
    return sc;
}

SHttpScenario NoAnswer(const std::string& strName, const std::string& strPath, const std::string& strUrl) {
    SHttpScenario sc;
    sc.strName = strName;
    sc.strPath = strPath;
    sc.strUrl = strUrl;
    sc.nStatus = 0;
    sc.strPage = kUntouchedPage;
    sc.nRequests = 0;
    return sc;
}

}  // namespace

bool SScenarioServers::Start() {
    nRefusedPort = FindRefusedPort();
    return plain.Start(false) && tls.Start(true) && nRefusedPort != 0;
}

std::string SScenarioServers::Expand(const std::string& strUrl) const {
    const std::pair<std::string, std::string> keys[] = {
        {"{http}", "http://127.0.0.1:" + std::to_string(plain.Port())},
        {"{https}", "https://127.0.0.1:" + std::to_string(tls.Port())},
        {"{plainport}", std::to_string(plain.Port())},
        {"{refused}", "http://127.0.0.1:" + std::to_string(nRefusedPort)},
    };
    std::string strOut = strUrl;
    for (const auto& k : keys) {
        size_t nPos = strOut.find(k.first);
        if (nPos != std::string::npos) strOut.replace(nPos, k.first.size(), k.second);
    }
    return strOut;
}

std::vector<SHttpScenario> MakeHttpScenarios() {
    std::vector<SHttpScenario> v;
    const std::string strLf = "\r\nfirst\r\nsecond\r\n\r\nlast";
    v.push_back(Ok("LfBody", "/lf", Body("first\nsecond\n\nlast"), strLf));
    v.push_back(Ok("CrLfBody", "/crlf", Body("first\r\nsecond\r\n\r\nlast\r\n"), strLf));
    v.push_back(Ok("StrayCarriageReturns", "/cr", Body("a\rb\r\r\nc\r"), "\r\nab\r\nc"));
    v.push_back(Ok("TwoLineFeeds", "/twolf", Body("\n\n"), "\r\n\r\n"));
    v.push_back(Ok("EmptyBody", "/empty", Body(""), ""));
    v.push_back(Ok("ZeroBytesEndTheirLine", "/nul", Body(std::string("ab\0cd\nef\0\ngh", 12)), "\r\nab\r\nef\r\ngh"));
    v.push_back(Ok("NoContentLength", "/nolen", Body("x\ny", EBody::kNoLength), "\r\nx\r\ny"));
    v.push_back(Ok("Chunked", "/chunked", Body("line one\nline two\n", EBody::kChunked), "\r\nline one\r\nline two"));

    SHttpScenario sc = Ok("QueryGetsAmpersand", "/query", Body("q\n"), "\r\nq");
    sc.strUrl = "{http}/query?a=1";
    sc.strTarget = "/query?a=1";
    v.push_back(sc);
    sc = Ok("HttpsOnlyInQueryIsPlain", "/inquery", Body("plain\n"), "\r\nplain");
    sc.strUrl = "{http}/inquery?u=https://example.invalid/";
    sc.strTarget = "/inquery?u=https://example.invalid/";
    v.push_back(sc);
    sc = Ok("NoPathRequestsRoot", "/", Body("root\n"), "\r\nroot");
    sc.strUrl = "{http}";
    v.push_back(sc);
    sc = Ok("BlankIsEscapedFragmentDropped", "/sp%20ace", Body("sp\n"), "\r\nsp");
    sc.strUrl = "{http}/sp ace?k=v#top";
    sc.strTarget = "/sp%20ace?k=v";
    v.push_back(sc);
    sc = Ok("UpperCaseHttpIsPlain", "/upper", Body("up\n"), "\r\nup");
    sc.strUrl = "  HTTP://127.0.0.1:{plainport}/upper  ";
    v.push_back(sc);

    sc = Ok("NotFoundKeepsBody", "/notfound", Status(404, "Not Found", "<h1>gone</h1>\r\n"), "\r\n<h1>gone</h1>");
    sc.nStatus = 404;
    v.push_back(sc);
    sc = Ok("ServerErrorKeepsBody", "/error", Status(500, "Internal Server Error", "oops"), "\r\noops");
    sc.nStatus = 500;
    v.push_back(sc);

    sc = Ok("RedirectChain", "/chain1", Redirect(302, "/chain2"), "\r\nfinal");
    sc.alsoRequested = {"/chain2", "/chain3"};
    v.push_back(sc);
    v.push_back(Ok("RedirectChainStep", "/chain2", Redirect(301, "/chain3"), ""));
    v.back().bRouteOnly = true;  // reached through /chain1 only
    v.push_back(Ok("RedirectChainEnd", "/chain3", Body("final\n"), ""));
    v.back().bRouteOnly = true;
    sc = NoAnswer("RedirectLoopGivesUp", "/loop", "{http}/loop");
    sc.answer = Redirect(302, "/loop");
    sc.nRequests = 1 + 20;  // the first request and twenty redirects followed
    sc.strTarget = "/loop";
    sc.nMaxMs = 15000;
    v.push_back(sc);

    // 64 bytes a line: the 64 MiB cap ends the read after exactly 1 Mi lines.
    const std::string strLine = std::string(63, 'x') + "\n";
    const std::string strLinePage = "\r\n" + std::string(63, 'x');
    sc = Ok("EndlessBodyStopsAtCap", "/endless", Body(strLine, EBody::kNoLength), strLinePage);
    sc.answer.nRepeatTo = SHttpAnswer::kEndless;
    sc.nPageRepeat = 1024 * 1024;
    sc.nMaxMs = 60000;
    v.push_back(sc);
    sc = Ok("HugeBodyStopsAtCap", "/huge", Body(strLine), strLinePage);
    sc.answer.nRepeatTo = 64ull * 1024 * 1024 + 4096;
    sc.nPageRepeat = 1024 * 1024;
    sc.nMaxMs = 60000;
    v.push_back(sc);

    sc = NoAnswer("StallBeforeStatus", "/stall", "{http}/stall");
    sc.answer.nStallBeforeStatusMs = 60000;
    sc.nRequests = 1;
    sc.strTarget = "/stall";
    sc.nMinMs = kScenarioReceiveMs - 200;
    sc.nMaxMs = kScenarioReceiveMs + 3000;
    v.push_back(sc);
    sc = Ok("StallMidBody", "/stallmid", Body("one\ntwo\nthr"), "\r\none\r\ntwo");
    sc.answer.nStallAtByte = 10;
    sc.answer.nStallMidBodyMs = 60000;
    sc.nMinMs = kScenarioReceiveMs - 200;
    sc.nMaxMs = kScenarioReceiveMs + 3000;
    v.push_back(sc);
    sc = Ok("TrickleIsNotAStall", "/trickle", Body("a\nb"), "\r\na\r\nb");
    sc.answer.nTrickleMs = 1000;
    sc.nMinMs = 1900;
    sc.nMaxMs = 8000;
    v.push_back(sc);
    sc = Ok("ResetMidBodyKeepsEndedLines", "/reset", Body("one\ntwo\nthree\n"), "\r\none\r\ntwo");
    sc.answer.nResetAtByte = 10;
    v.push_back(sc);
    sc = Ok("ShortBodyKeepsEndedLines", "/short", Body("one\ntwo\nthree\n"), "\r\none\r\ntwo");
    sc.answer.nCloseAtByte = 10;
    v.push_back(sc);
    sc = Ok("MalformedChunks", "/badchunk", Body("one\ntwo\n", EBody::kBadChunked), "");
    v.push_back(sc);
    sc = NoAnswer("MalformedStatusLine", "/malformed", "{http}/malformed");
    sc.answer = Body("body\n");
    sc.answer.strRawHead = "HTTP/1.1 OK-ish\r\nContent-Length: 5\r\n\r\n";
    sc.nRequests = 1;
    sc.strTarget = "/malformed";
    v.push_back(sc);

    v.push_back(NoAnswer("RefusedPort", "", "{refused}/page"));
    v.push_back(NoAnswer("UnresolvableHost", "", "http://vlm-nohost.invalid/page"));
    v.push_back(NoAnswer("SelfSignedCertificateRejected", "/tls", "{https}/tls"));
    v.back().answer = Body("secret\n");
    sc = NoAnswer("UpperCaseSchemeIsSecure", "/secure-upper", "HTTPS://127.0.0.1:{plainport}/secure-upper");
    sc.bTlsHello = true;
    v.push_back(sc);
    sc = NoAnswer("LeadingBlankIsSecure", "/secure-blank", " https://127.0.0.1:{plainport}/secure-blank");
    sc.bTlsHello = true;
    v.push_back(sc);
    v.push_back(NoAnswer("EmptyAddress", "", ""));
    v.push_back(NoAnswer("OtherScheme", "", "ftp://127.0.0.1:{plainport}/file"));
    return v;
}

void InstallScenarios(SScenarioServers& servers, const std::vector<SHttpScenario>& scenarios) {
    for (const SHttpScenario& sc : scenarios) {
        if (sc.strPath.empty()) continue;
        servers.plain.SetAnswer(sc.strPath, sc.answer);
        servers.tls.SetAnswer(sc.strPath, sc.answer);
    }
}

void CheckScenario(const SHttpScenario& sc, const SFetchOutcome& out, const SScenarioServers& servers,
                   const std::string& strAgent) {
    SCOPED_TRACE(sc.strName);
    EXPECT_EQ(out.nStatus, sc.nStatus);
    if (sc.nPageRepeat == 1) {
        EXPECT_EQ(out.strPage, sc.strPage);
    } else {
        EXPECT_EQ(out.strPage.size(), sc.strPage.size() * sc.nPageRepeat);
        bool bSame = out.strPage.size() == sc.strPage.size() * sc.nPageRepeat;
        for (size_t i = 0; bSame && i < sc.nPageRepeat; ++i)
            bSame = out.strPage.compare(i * sc.strPage.size(), sc.strPage.size(), sc.strPage) == 0;
        EXPECT_TRUE(bSame) << "page text is not the expected lines";
    }
    EXPECT_LE(out.nElapsedMs, sc.nMaxMs);
    EXPECT_GE(out.nElapsedMs, sc.nMinMs);

    if (sc.bTlsHello) {
        std::vector<SHttpRequestRecord> hellos = servers.plain.RequestsFor("");
        bool bSeen = false;
        for (const auto& r : hellos) bSeen = bSeen || r.strMethod == "TLS-HELLO";
        EXPECT_TRUE(bSeen) << "no TLS handshake reached the plain server";
    }
    for (const std::string& strPath : sc.alsoRequested)
        EXPECT_EQ(servers.plain.RequestsFor(strPath).size(), 1u) << strPath;
    if (sc.strPath.empty()) return;
    std::vector<SHttpRequestRecord> reqs = servers.plain.RequestsFor(sc.strPath);
    std::vector<SHttpRequestRecord> tlsReqs = servers.tls.RequestsFor(sc.strPath);
    reqs.insert(reqs.end(), tlsReqs.begin(), tlsReqs.end());
    if (sc.nMaxRequests > 0) {
        EXPECT_GE(static_cast<int>(reqs.size()), sc.nRequests);
        EXPECT_LE(static_cast<int>(reqs.size()), sc.nMaxRequests);
    } else {
        EXPECT_EQ(static_cast<int>(reqs.size()), sc.nRequests);
    }
    if (reqs.empty() || sc.strTarget.empty()) return;
    const SHttpRequestRecord& r = reqs.front();
    EXPECT_EQ(r.strMethod, "GET");
    EXPECT_EQ(r.strVersion, "HTTP/1.0");
    EXPECT_EQ(r.Header("Content-Type"), "application/x-www-form-urlencoded");
    EXPECT_EQ(r.Header("User-Agent"), strAgent);
    std::string strNames;
    for (const auto& h : r.headers) strNames += h.first + ";";
    EXPECT_EQ(strNames, "Host;User-Agent;Content-Type;Connection;");
    EXPECT_EQ(r.Header("Host"), "127.0.0.1:" + std::to_string(servers.plain.Port()));
    EXPECT_EQ(r.Header("Connection"), "Keep-Alive");
    std::string strPrefix = sc.strTarget + (sc.strTarget.find('?') == std::string::npos ? "?" : "&") + "vlmrnd=";
    ASSERT_EQ(r.strTarget.compare(0, strPrefix.size(), strPrefix), 0) << r.strTarget;
    std::string strNumber = r.strTarget.substr(strPrefix.size());
    char* pEnd = nullptr;
    long long nValue = std::strtoll(strNumber.c_str(), &pEnd, 10);
    EXPECT_TRUE(!strNumber.empty() && *pEnd == '\0') << r.strTarget;
    EXPECT_GE(nValue, static_cast<int32_t>(out.tBefore));
    EXPECT_LE(nValue, static_cast<int32_t>(out.tAfter));
}

#endif  // _WIN32
