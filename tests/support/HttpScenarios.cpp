#ifndef _WIN32

#include "support/HttpScenarios.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// An answer whose head goes out as given (none: 200 with Content-Length),
// with the fault after 10 body bytes.
SHttpAnswer Head(const std::string& strHead, const std::string& strBody,
                 SHttpAnswer::EFault eFault = SHttpAnswer::kNone, uint32_t nMs = 0) {
    SHttpAnswer a;
    a.strHead = strHead;
    a.strBody = strBody;
    a.eFault = eFault;
    a.nAt = 10;
    a.nMs = nMs;
    return a;
}

SHttpAnswer Body(const std::string& strBody) { return Head("", strBody); }

// The status ("200 OK") and header lines as given.
SHttpAnswer Raw(const std::string& strStatus, const std::string& strHeaders, const std::string& strBody) {
    return Head("HTTP/1.1 " + strStatus + "\r\nConnection: close\r\n" + strHeaders + "\r\n", strBody);
}

SHttpAnswer Status(const std::string& strStatus, const std::string& strBody) {
    return Raw(strStatus, "Content-Length: " + std::to_string(strBody.size()) + "\r\n", strBody);
}

SHttpAnswer Redirect(const std::string& strStatus, const std::string& strLocation) {
    return Raw(strStatus, "Location: " + strLocation + "\r\nContent-Length: 0\r\n", "");
}

// A fetch of the address that gets the answer; the route and the target the
// server must see follow from the address.
SHttpScenario Ok(const std::string& strName, const std::string& strUrl, const SHttpAnswer& a,
                 const std::string& strPage, int nStatus = 200) {
    SHttpScenario sc;
    sc.strName = strName;
    sc.strUrl = strUrl;
    sc.answer = a;
    sc.strPage = strPage;
    sc.nStatus = nStatus;
    sc.strTarget = strUrl.substr(strUrl.find('}') + 1);
    sc.strPath = sc.strTarget.substr(0, sc.strTarget.find('?'));
    return sc;
}

// A fetch that must give 0 and leave the page as it was.
SHttpScenario Failed(const std::string& strName, const std::string& strUrl, const SHttpAnswer& a,
                     platform::EHttpFailure eFailure = platform::kHttpFailOther) {
    SHttpScenario sc = Ok(strName, strUrl, a, kUntouchedPage, 0);
    sc.eFailure = eFailure;
    return sc;
}

// ... without an answer; strPath, when given, must see no request.
SHttpScenario NoAnswer(const std::string& strName, const std::string& strUrl, platform::EHttpFailure eFailure,
                       const std::string& strPath = "") {
    SHttpScenario sc = Failed(strName, strUrl, SHttpAnswer(), eFailure);
    sc.strPath = strPath;
    sc.nRequests = 0;
    return sc;
}

// The scenario as changed by f.
template <typename F>
SHttpScenario With(SHttpScenario sc, F f) {
    f(sc);
    return sc;
}

SHttpScenario LeadsTo(SHttpScenario sc, const std::vector<std::pair<std::string, SHttpAnswer>>& routes) {
    sc.leadsTo = routes;
    return sc;
}

// The CA variable names the test CA; the Windows build has its own store.
SHttpScenario TrustCa(SHttpScenario sc, const std::string& strVariable) {
    sc.strCaVariable = strVariable;
    sc.bNativeOnly = true;
    return sc;
}

SHttpScenario Within(SHttpScenario sc, uint32_t nMinMs, uint32_t nMaxMs) {
    sc.nMinMs = nMinMs;
    sc.nMaxMs = nMaxMs;
    return sc;
}

bool OnSignedServer(const SHttpScenario& sc) { return sc.strUrl.find("{signed") != std::string::npos; }

}  // namespace

SScenarioServers::~SScenarioServers() {
    if (nBlackholeFill >= 0) close(nBlackholeFill);
    if (nBlackholeListen >= 0) close(nBlackholeListen);
}

bool SScenarioServers::Start() {
    nRefusedPort = FreeLoopbackPort();  // connecting to it is refused
    // A backlog of 0 holds one connection that is never accepted; the
    // handshake of the next one is not answered.
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    sockaddr* pAddr = reinterpret_cast<sockaddr*>(&addr);
    socklen_t nLen = sizeof addr;
    nBlackholeListen = socket(AF_INET, SOCK_STREAM, 0);
    nBlackholeFill = socket(AF_INET, SOCK_STREAM, 0);
    if (bind(nBlackholeListen, pAddr, nLen) != 0 || listen(nBlackholeListen, 0) != 0 ||
        getsockname(nBlackholeListen, pAddr, &nLen) != 0 || connect(nBlackholeFill, pAddr, nLen) != 0)
        return false;
    nBlackholePort = ntohs(addr.sin_port);
    return plain.Start(false) && tls.Start(true) && signedTls.StartWithCa(caDir.Path()) && nRefusedPort != 0;
}

std::string SScenarioServers::Expand(const std::string& strUrl) const {
    // "{http}" and "{signed}" first: they name the ports in their turn.
    const std::pair<std::string, std::string> keys[] = {
        {"{http}", "http://127.0.0.1:{plainport}"},
        {"{signed}", "https://127.0.0.1:{signedport}"},
        {"{https}", "https://127.0.0.1:" + std::to_string(tls.Port())},
        {"{refused}", "http://127.0.0.1:" + std::to_string(nRefusedPort)},
        {"{blackhole}", "http://127.0.0.1:" + std::to_string(nBlackholePort)},
        {"{plainport}", std::to_string(plain.Port())},
        {"{signedport}", std::to_string(signedTls.Port())},
    };
    std::string strOut = strUrl;
    for (const auto& k : keys) {
        size_t nPos = strOut.find(k.first);
        if (nPos != std::string::npos) strOut.replace(nPos, k.first.size(), k.second);
    }
    return strOut;
}

void SScenarioServers::Install(const SHttpScenario& sc) {
    if (!sc.strPath.empty()) (OnSignedServer(sc) ? signedTls : plain).SetAnswer(sc.strPath, sc.answer);
    for (const auto& route : sc.leadsTo) plain.SetAnswer(route.first, route.second);
}

std::vector<SHttpScenario> MakeHttpScenarios(bool bUnderWine) {
    const uint32_t nStallMin = kScenarioReceiveMs - 200, nStallMax = kScenarioReceiveMs + 3000;
    const std::string strLines = "one\ntwo\nthree\n";
    const SHttpAnswer cutHead = Head("HTTP/1.0 200 OK\r\nServer: x\r\n", "");
    // Stray CRs and zero bytes in the text are the unit test PageRequest.PageText
    // (both builds); here line ends and bodies end to end.
    std::vector<SHttpScenario> v = {
        Ok("LfBody", "{http}/lf", Body("first\nsecond\n\nlast"), "\r\nfirst\r\nsecond\r\n\r\nlast"),
        Ok("EmptyBody", "{http}/empty", Body(""), ""),
        Ok("NoContentLength", "{http}/nolen", Raw("200 OK", "", "x\ny"), "\r\nx\r\ny"),
        // Chunks that end inside lines.
        Ok("Chunked", "{http}/chunked",
           Raw("200 OK", "Transfer-Encoding: chunked\r\n", "7\r\nline on\r\n7\r\ne\nline \r\n4\r\ntwo\n\r\n0\r\n\r\n"),
           "\r\nline one\r\nline two"),
        Ok("MalformedChunks", "{http}/badchunk",
           Raw("200 OK", "Transfer-Encoding: chunked\r\n", "zz\r\none\ntwo\n\r\n0\r\n\r\n"), ""),
        Ok("NotFoundKeepsBody", "{http}/notfound", Status("404 Not Found", "<h1>gone</h1>\r\n"), "\r\n<h1>gone</h1>",
           404),
        Ok("ServerErrorKeepsBody", "{http}/error", Status("500 Internal Server Error", "oops"), "\r\noops", 500),
        LeadsTo(Ok("RedirectChain", "{http}/chain1", Redirect("302 Found", "/chain2"), "\r\nfinal"),
                {{"/chain2", Redirect("301 Moved Permanently", "/chain3")}, {"/chain3", Body("final\n")}}),
        // The first request and twenty redirects followed.
        With(Within(Failed("RedirectLoopGivesUp", "{http}/loop", Redirect("302 Found", "/loop"),
                           platform::kHttpFailTooManyRedirects), 0, 15000),
             [](SHttpScenario& sc) { sc.nRequests = 1 + 20; }),
        NoAnswer("RefusedPort", "{refused}/page", platform::kHttpFailRefused),
        // Wine does not apply the connect time-out: there the Windows build
        // gives up by itself, a second after connect and receive time-outs.
        Within(NoAnswer("ConnectTimesOut", "{blackhole}/page", platform::kHttpFailTimedOut),
               kScenarioConnectMs - 200, kScenarioConnectMs + kScenarioReceiveMs + 2500),
        NoAnswer("UnresolvableHost", "http://vlm-nohost.invalid/page", platform::kHttpFailNameNotResolved),
        NoAnswer("SelfSignedCertificateRejected", "{https}/tls", platform::kHttpFailCertificate),
        // Interim 1xx blocks are no answer, nor a head cut off before its
        // blank line; a head without header lines is one. An answer without a
        // status line is 200 with all its bytes as the body. Wine's layer
        // drops the first line of such an answer, and shows a cut head as
        // the complete head of an empty answer.
        Failed("InterimThenClose", "{http}/interim-close", Head("HTTP/1.1 100 Continue\r\n\r\n", "")),
        Ok("InterimThenAnswer", "{http}/interim-ok",
           Head("HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200 OK\r\nConnection: close\r\nContent-Length: 3\r\n\r\n",
                "ok\n"), "\r\nok"),
        Ok("HeadWithoutHeaderLines", "{http}/bare", Head("HTTP/1.0 404 Not Found\r\n\r\n", "<p>x</p>"),
           "\r\n<p>x</p>", 404),
        Ok("NoStatusLine", "{http}/nine", Head("<html>no head\n<p>x</p>\n</html>", ""),
           std::string(bUnderWine ? "" : "\r\n<html>no head") + "\r\n<p>x</p>\r\n</html>"),
        bUnderWine ? Ok("HeadCutBeforeBlankLine", "{http}/cut", cutHead, "")
                   : Failed("HeadCutBeforeBlankLine", "{http}/cut", cutHead),
        // The CA-signed server: trusted through the CA variables, else refused,
        // and refused under another host name.
        TrustCa(Ok("CaFileTrusted", "{signed}/ca-file", Body("signed\n"), "\r\nsigned"), "SSL_CERT_FILE"),
        TrustCa(Ok("CaDirTrusted", "{signed}/ca-dir", Body("signed\n"), "\r\nsigned"), "SSL_CERT_DIR"),
        NoAnswer("CaNotTrusted", "{signed}/ca-none", platform::kHttpFailCertificate, "/ca-none"),
        TrustCa(NoAnswer("CaTrustedOtherHostName", "https://localhost:{signedport}/ca-name",
                         platform::kHttpFailCertificate, "/ca-name"), "SSL_CERT_FILE"),
        NoAnswer("EmptyAddress", "", platform::kHttpFailBadAddress),
        NoAnswer("OtherScheme", "ftp://127.0.0.1:{plainport}/file", platform::kHttpFailBadAddress),
        // Faults of the server after 10 body bytes, with the bounds the fetch must keep.
        Within(Failed("StallBeforeStatus", "{http}/stall-first", Head("", strLines, SHttpAnswer::kStallFirst, 60000),
                      platform::kHttpFailTimedOut), nStallMin, nStallMax),
        Within(Ok("StallMidBody", "{http}/stall-mid", Head("", strLines, SHttpAnswer::kStallAt, 60000),
                  "\r\none\r\ntwo"), nStallMin, nStallMax),
        Within(Ok("TrickleIsNotAStall", "{http}/trickle", Head("", strLines, SHttpAnswer::kTrickle, 150),
                  "\r\none\r\ntwo\r\nthree"), 1900, 8000),
        Ok("ResetMidBodyKeepsEndedLines", "{http}/reset", Head("", strLines, SHttpAnswer::kResetAt), "\r\none\r\ntwo"),
        Ok("ShortBodyKeepsEndedLines", "{http}/short", Head("", strLines, SHttpAnswer::kCloseAt), "\r\none\r\ntwo"),
    };
    // A Location leads on with the five redirect codes (301 and 302 above)
    // only; with the others the answer is the final one.
    for (const char* szStatus : {"303 See Other", "307 Temporary Redirect", "308 Permanent Redirect"}) {
        const std::string strCode(szStatus, 3), strTarget = "/r" + strCode + "-target";
        v.push_back(LeadsTo(Ok("Redirect" + strCode + "Followed", "{http}/r" + strCode, Redirect(szStatus, strTarget),
                               "\r\ntarget"), {{strTarget, Body("target\n")}}));
    }
    for (const char* szStatus : {"300 Multiple Choices", "304 Not Modified", "305 Use Proxy", "399 Odd"}) {
        const std::string strCode(szStatus, 3);
        v.push_back(Ok("Redirect" + strCode + "NotFollowed", "{http}/r" + strCode, Redirect(szStatus, "/target"), "",
                       std::stoi(strCode)));
    }
    // 64 bytes a line: the 64 MiB cap ends the read after exactly 1 Mi lines,
    // of a body without end and of one announced 4 KiB longer than the cap.
    const std::string strX(63, 'x');
    v.push_back(Ok("EndlessBodyStopsAtCap", "{http}/endless", Raw("200 OK", "", strX + "\n"), "\r\n" + strX));
    v.push_back(Ok("HugeBodyStopsAtCap", "{http}/huge", Body(strX + "\n"), "\r\n" + strX));
    v[v.size() - 2].answer.nRepeat = 0;
    v.back().answer.nRepeat = 1024 * 1024 + 64;
    for (size_t i = v.size() - 2; i < v.size(); ++i) {
        v[i].nPageRepeat = 1024 * 1024;
        v[i].nMaxMs = 60000;
    }
    return v;
}

std::string ExpectedPage(const SHttpScenario& sc) {
    std::string s;
    for (size_t i = 0; i < sc.nPageRepeat; ++i) s += sc.strPage;
    return s;
}

void CheckScenario(const SHttpScenario& sc, const SFetchOutcome& out, const SScenarioServers& servers,
                   const std::string& strAgent) {
    SCOPED_TRACE(sc.strName);
    EXPECT_EQ(out.nStatus, sc.nStatus);
    EXPECT_EQ(out.eFailure, sc.eFailure) << "why no status (platform::EHttpFailure)";
    EXPECT_TRUE(out.strPage == ExpectedPage(sc))
        << out.strPage.size() << " bytes: " << testing::PrintToString(out.strPage.substr(0, 200));
    EXPECT_LE(out.nElapsedMs, sc.nMaxMs);
    EXPECT_GE(out.nElapsedMs, sc.nMinMs);
    EXPECT_TRUE(servers.tls.RequestsFor("").empty()) << "the self-signed certificate was accepted";
    for (const auto& route : sc.leadsTo) EXPECT_EQ(servers.plain.RequestsFor(route.first).size(), 1u) << route.first;
    if (sc.strPath.empty()) return;
    const CTestHttpServer& server = OnSignedServer(sc) ? servers.signedTls : servers.plain;
    const std::vector<SHttpRequestRecord> reqs = server.RequestsFor(sc.strPath);
    EXPECT_EQ(static_cast<int>(reqs.size()), sc.nRequests);
    if (reqs.empty()) return;
    const SHttpRequestRecord& r = reqs.front();
    EXPECT_EQ(r.strMethod + " " + r.strVersion, "GET HTTP/1.0");
    // A secure request does not ask to keep its connection.
    std::string strHeaders;
    for (const auto& h : r.headers) strHeaders += h.first + ": " + h.second + "\n";
    EXPECT_EQ(strHeaders, "Host: 127.0.0.1:" + std::to_string(server.Port()) + "\nUser-Agent: " + strAgent +
                              "\nContent-Type: application/x-www-form-urlencoded\n" +
                              (&server == &servers.plain ? "Connection: Keep-Alive\n" : ""));
    // The cache-busting parameter is the clock's seconds (their low 32 bits).
    const std::string strPrefix = sc.strTarget + (sc.strTarget.find('?') == std::string::npos ? "?" : "&") + "vlmrnd=";
    bool bStamped = false;
    for (int64_t t = out.tBefore; t <= out.tAfter; ++t)
        bStamped = bStamped || r.strTarget == strPrefix + std::to_string(static_cast<int32_t>(t));
    EXPECT_TRUE(bStamped) << r.strTarget;
}

#endif  // _WIN32
