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

// A socket bound to a free port of 127.0.0.1 (listening when nBacklog >= 0).
int BindLoopback(int nBacklog, sockaddr_in& addr) {
    int nSocket = socket(AF_INET, SOCK_STREAM, 0);
    addr = sockaddr_in{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t nLen = sizeof addr;
    if (bind(nSocket, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        (nBacklog >= 0 && listen(nSocket, nBacklog) != 0) ||
        getsockname(nSocket, reinterpret_cast<sockaddr*>(&addr), &nLen) != 0)
        addr.sin_port = 0;
    return nSocket;
}

// An answer with its head as given ("200 OK" and extra header lines).
SHttpAnswer Raw(const std::string& strStatus, const std::string& strHeaders, const std::string& strBody) {
    SHttpAnswer a;
    a.strHead = "HTTP/1.1 " + strStatus + "\r\nConnection: close\r\n" + strHeaders + "\r\n";
    a.strBody = strBody;
    return a;
}

// 200 with Content-Length.
SHttpAnswer Body(const std::string& strBody) {
    SHttpAnswer a;
    a.strBody = strBody;
    return a;
}

SHttpAnswer Status(const std::string& strStatus, const std::string& strBody) {
    return Raw(strStatus, "Content-Length: " + std::to_string(strBody.size()) + "\r\n", strBody);
}

SHttpAnswer Redirect(const std::string& strStatus, const std::string& strLocation) {
    return Raw(strStatus, "Location: " + strLocation + "\r\nContent-Length: 0\r\n", "");
}

// Chunks of at most 7 bytes.
SHttpAnswer Chunked(const std::string& strBody) {
    std::string strWire;
    for (size_t i = 0; i < strBody.size(); i += 7) {
        std::string strPart = strBody.substr(i, 7);
        strWire += std::to_string(strPart.size()) + "\r\n" + strPart + "\r\n";
    }
    return Raw("200 OK", "Transfer-Encoding: chunked\r\n", strWire + "0\r\n\r\n");
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

SScenarioServers::~SScenarioServers() {
    if (nBlackholeFill >= 0) close(nBlackholeFill);
    if (nBlackholeListen >= 0) close(nBlackholeListen);
}

bool SScenarioServers::Start() {
    // A port that was free a moment ago: connecting to it is refused.
    sockaddr_in addr;
    close(BindLoopback(-1, addr));
    nRefusedPort = ntohs(addr.sin_port);
    // A backlog of 0 holds one connection that is never accepted; the
    // handshake of the next one is not answered.
    nBlackholeListen = BindLoopback(0, addr);
    nBlackholePort = ntohs(addr.sin_port);
    nBlackholeFill = socket(AF_INET, SOCK_STREAM, 0);
    if (nBlackholePort == 0 || connect(nBlackholeFill, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0)
        return false;
    return plain.Start(false) && tls.Start(true) && nRefusedPort != 0;
}

std::string SScenarioServers::Expand(const std::string& strUrl) const {
    const std::pair<std::string, std::string> keys[] = {
        {"{http}", "http://127.0.0.1:" + std::to_string(plain.Port())},
        {"{https}", "https://127.0.0.1:" + std::to_string(tls.Port())},
        {"{plainport}", std::to_string(plain.Port())},
        {"{refused}", "http://127.0.0.1:" + std::to_string(nRefusedPort)},
        {"{blackhole}", "http://127.0.0.1:" + std::to_string(nBlackholePort)},
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
    v.push_back(Ok("EmptyBody", "/empty", Body(""), ""));
    v.push_back(Ok("ZeroBytesEndTheirLine", "/nul", Body(std::string("ab\0cd\nef\0\ngh", 12)), "\r\nab\r\nef\r\ngh"));
    v.push_back(Ok("NoContentLength", "/nolen", Raw("200 OK", "", "x\ny"), "\r\nx\r\ny"));
    v.push_back(Ok("Chunked", "/chunked", Chunked("line one\nline two\n"), "\r\nline one\r\nline two"));

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

    sc = Ok("NotFoundKeepsBody", "/notfound", Status("404 Not Found", "<h1>gone</h1>\r\n"), "\r\n<h1>gone</h1>");
    sc.nStatus = 404;
    v.push_back(sc);
    sc = Ok("ServerErrorKeepsBody", "/error", Status("500 Internal Server Error", "oops"), "\r\noops");
    sc.nStatus = 500;
    v.push_back(sc);

    sc = Ok("RedirectChain", "/chain1", Redirect("302 Found", "/chain2"), "\r\nfinal");
    sc.alsoRequested = {"/chain2", "/chain3"};
    v.push_back(sc);
    v.push_back(Ok("RedirectChainStep", "/chain2", Redirect("301 Moved Permanently", "/chain3"), ""));
    v.back().bRouteOnly = true;  // reached through /chain1 only
    v.push_back(Ok("RedirectChainEnd", "/chain3", Body("final\n"), ""));
    v.back().bRouteOnly = true;
    sc = NoAnswer("RedirectLoopGivesUp", "/loop", "{http}/loop");
    sc.answer = Redirect("302 Found", "/loop");
    sc.nRequests = 1 + 20;  // the first request and twenty redirects followed
    sc.strTarget = "/loop";
    sc.nMaxMs = 15000;
    v.push_back(sc);

    // 64 bytes a line: the 64 MiB cap ends the read after exactly 1 Mi lines,
    // of a body without end and of one announced 4 KiB longer than the cap.
    const std::string strLine = std::string(63, 'x') + "\n";
    sc = Ok("EndlessBodyStopsAtCap", "/endless", Raw("200 OK", "", strLine), "\r\n" + std::string(63, 'x'));
    sc.answer.nRepeat = 0;
    sc.nPageRepeat = 1024 * 1024;
    sc.nMaxMs = 60000;
    v.push_back(sc);
    sc = Ok("HugeBodyStopsAtCap", "/huge", Body(strLine), sc.strPage);
    sc.answer.nRepeat = 1024 * 1024 + 64;
    sc.nPageRepeat = 1024 * 1024;
    sc.nMaxMs = 60000;
    v.push_back(sc);

    // Faults of the server, each with the bound the fetch must keep.
    const struct {
        const char* szName;
        SHttpAnswer::EFault eFault;
        uint32_t nMs;
        uint32_t nMinMs, nMaxMs;
    } faults[] = {
        {"StallBeforeStatus", SHttpAnswer::kStallFirst, 60000, kScenarioReceiveMs - 200, kScenarioReceiveMs + 3000},
        {"StallMidBody", SHttpAnswer::kStallAt, 60000, kScenarioReceiveMs - 200, kScenarioReceiveMs + 3000},
        {"TrickleIsNotAStall", SHttpAnswer::kTrickle, 150, 1900, 8000},
        {"ResetMidBodyKeepsEndedLines", SHttpAnswer::kResetAt, 0, 0, 4000},
        {"ShortBodyKeepsEndedLines", SHttpAnswer::kCloseAt, 0, 0, 4000},
    };
    for (const auto& f : faults) {
        std::string strPath = std::string("/") + f.szName;
        sc = Ok(f.szName, strPath, Body("one\ntwo\nthree\n"), "\r\none\r\ntwo");
        if (f.eFault == SHttpAnswer::kStallFirst) sc = NoAnswer(f.szName, strPath, "{http}" + strPath);
        if (f.eFault == SHttpAnswer::kTrickle) sc.strPage += "\r\nthree";
        sc.answer = Body("one\ntwo\nthree\n");
        sc.answer.eFault = f.eFault;
        sc.answer.nAt = 10;
        sc.answer.nMs = f.nMs;
        sc.nRequests = 1;
        sc.strTarget = strPath;
        sc.nMinMs = f.nMinMs;
        sc.nMaxMs = f.nMaxMs;
        v.push_back(sc);
    }
    v.push_back(Ok("MalformedChunks", "/badchunk",
                   Raw("200 OK", "Transfer-Encoding: chunked\r\n", "zz\r\none\ntwo\n\r\n0\r\n\r\n"), ""));
    sc = NoAnswer("MalformedStatusLine", "/malformed", "{http}/malformed");
    sc.answer = Body("body\n");
    sc.answer.strHead = "HTTP/1.1 OK-ish\r\nContent-Length: 5\r\n\r\n";
    sc.nRequests = 1;
    sc.strTarget = "/malformed";
    v.push_back(sc);

    v.push_back(NoAnswer("RefusedPort", "", "{refused}/page"));
    sc = NoAnswer("ConnectTimesOut", "", "{blackhole}/page");
    sc.nMinMs = kScenarioConnectMs - 200;
    sc.nMaxMs = kScenarioConnectMs + 3000;
    sc.bNativeOnly = true;
    v.push_back(sc);
    v.push_back(NoAnswer("UnresolvableHost", "", "http://vlm-nohost.invalid/page"));
    v.push_back(NoAnswer("SelfSignedCertificateRejected", "", "{https}/tls"));
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
    }
}

std::string ExpectedPage(const SHttpScenario& sc) {
    std::string s;
    s.reserve(sc.strPage.size() * sc.nPageRepeat);
    for (size_t i = 0; i < sc.nPageRepeat; ++i) s += sc.strPage;
    return s;
}

void CheckScenario(const SHttpScenario& sc, const SFetchOutcome& out, const SScenarioServers& servers,
                   const std::string& strAgent) {
    SCOPED_TRACE(sc.strName);
    EXPECT_EQ(out.nStatus, sc.nStatus);
    std::string strExpected = ExpectedPage(sc);
    if (strExpected.size() <= 4096) {
        EXPECT_EQ(out.strPage, strExpected);
    } else {
        EXPECT_EQ(out.strPage.size(), strExpected.size());
        EXPECT_TRUE(out.strPage == strExpected) << "page text is not the expected lines";
    }
    EXPECT_LE(out.nElapsedMs, sc.nMaxMs);
    EXPECT_GE(out.nElapsedMs, sc.nMinMs);

    EXPECT_TRUE(servers.tls.RequestsFor("").empty()) << "the self-signed certificate was accepted";
    if (sc.bTlsHello) {
        EXPECT_FALSE(servers.plain.RequestsFor("").empty()) << "no TLS handshake reached the plain server";
    }
    for (const std::string& strPath : sc.alsoRequested)
        EXPECT_EQ(servers.plain.RequestsFor(strPath).size(), 1u) << strPath;
    if (sc.strPath.empty()) return;
    std::vector<SHttpRequestRecord> reqs = servers.plain.RequestsFor(sc.strPath);
    EXPECT_EQ(static_cast<int>(reqs.size()), sc.nRequests);
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
