#ifndef _WIN32

#include "support/HttpScenarios.h"
#include "support/TestSupport.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <functional>

const char kUntouchedPage[] = "(page before the fetch)";

namespace {

// A socket listening on a free port of 127.0.0.1.
int BindLoopback(int nBacklog, sockaddr_in& addr) {
    int nSocket = socket(AF_INET, SOCK_STREAM, 0);
    addr = sockaddr_in{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t nLen = sizeof addr;
    if (bind(nSocket, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(nSocket, nBacklog) != 0 ||
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
    std::string strRest = strUrl.substr(strUrl.find('}') + 1);
    strRest = strRest.substr(0, std::min(strRest.find('#'), strRest.find_last_not_of(' ') + 1));
    for (char c : strRest) sc.strTarget += c == ' ' ? std::string("%20") : std::string(1, c);
    if (sc.strTarget.empty()) sc.strTarget = "/";
    sc.strPath = sc.strTarget.substr(0, sc.strTarget.find('?'));
    return sc;
}

// A fetch that must give 0 and leave the page as it was.
SHttpScenario Failed(SHttpScenario sc) {
    sc.nStatus = 0;
    sc.strPage = kUntouchedPage;
    sc.eFailure = platform::kHttpFailOther;  // unless the table of reasons names another
    return sc;
}

// ... without a route; strPath, when given, must see no request.
SHttpScenario NoAnswer(const std::string& strName, const std::string& strUrl, const std::string& strPath = "") {
    SHttpScenario sc = Failed(Ok(strName, strUrl, SHttpAnswer(), ""));
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

void RouteOnly(SHttpScenario& sc) { sc.bRouteOnly = true; }

// The scenario requesting strTarget where its address names another path.
std::function<void(SHttpScenario&)> Requests(const std::string& strTarget) {
    return [strTarget](SHttpScenario& sc) {
        sc.strTarget = strTarget;
        sc.strPath = strTarget.substr(0, strTarget.find('?'));
    };
}

// The CA variable names the test CA; the Windows build has its own store.
std::function<void(SHttpScenario&)> TrustCa(const std::string& strVariable) {
    return [strVariable](SHttpScenario& sc) {
        sc.strCaVariable = strVariable;
        sc.bNativeOnly = true;
    };
}
void TlsHello(SHttpScenario& sc) { sc.bTlsHello = true; }

}  // namespace

SScenarioServers::~SScenarioServers() {
    if (nBlackholeFill >= 0) close(nBlackholeFill);
    if (nBlackholeListen >= 0) close(nBlackholeListen);
    if (!strCaDir.empty()) std::system(("rm -rf '" + strCaDir + "'").c_str());
}

bool SScenarioServers::Start() {
    nRefusedPort = FreeLoopbackPort();  // connecting to it is refused
    sockaddr_in addr;
    // A backlog of 0 holds one connection that is never accepted; the
    // handshake of the next one is not answered.
    nBlackholeListen = BindLoopback(0, addr);
    nBlackholePort = ntohs(addr.sin_port);
    nBlackholeFill = socket(AF_INET, SOCK_STREAM, 0);
    if (nBlackholePort == 0 || connect(nBlackholeFill, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0)
        return false;
    char szDir[] = "/tmp/vlm-ca.XXXXXX";
    if (!mkdtemp(szDir)) return false;
    strCaDir = std::string(szDir) + "/";
    return plain.Start(false) && tls.Start(true) && signedTls.StartWithCa(strCaDir) && nRefusedPort != 0;
}

CTestHttpServer& SScenarioServers::RouteServer(const SHttpScenario& sc) {
    return sc.strUrl.find("{signed") != std::string::npos ? signedTls : plain;
}

const CTestHttpServer& SScenarioServers::RouteServer(const SHttpScenario& sc) const {
    return sc.strUrl.find("{signed") != std::string::npos ? signedTls : plain;
}

std::string SScenarioServers::CaLocation(const SHttpScenario& sc) const {
    if (sc.strCaVariable == "SSL_CERT_FILE") return strCaDir + "ca.pem";
    return strCaDir.substr(0, strCaDir.size() - 1);
}

std::string SScenarioServers::Expand(const std::string& strUrl) const {
    const std::pair<std::string, std::string> keys[] = {
        {"{http}", "http://127.0.0.1:" + std::to_string(plain.Port())},
        {"{https}", "https://127.0.0.1:" + std::to_string(tls.Port())},
        {"{plainport}", std::to_string(plain.Port())},
        {"{signed}", "https://127.0.0.1:" + std::to_string(signedTls.Port())},
        {"{signedport}", std::to_string(signedTls.Port())},
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
    const std::string strLf = "\r\nfirst\r\nsecond\r\n\r\nlast";
    // Stray CRs and zero bytes in the text are the unit test PageRequest.PageText
    // (both builds); here LF and CR LF bodies end to end.
    std::vector<SHttpScenario> v = {
        Ok("LfBody", "{http}/lf", Body("first\nsecond\n\nlast"), strLf),
        Ok("CrLfBody", "{http}/crlf", Body("first\r\nsecond\r\n\r\nlast\r\n"), strLf),
        Ok("EmptyBody", "{http}/empty", Body(""), ""),
        Ok("NoContentLength", "{http}/nolen", Raw("200 OK", "", "x\ny"), "\r\nx\r\ny"),
        Ok("Chunked", "{http}/chunked", Chunked("line one\nline two\n"), "\r\nline one\r\nline two"),
        Ok("QueryGetsAmpersand", "{http}/query?a=1", Body("q\n"), "\r\nq"),
        Ok("HttpsOnlyInQueryIsPlain", "{http}/inquery?u=https://example.invalid/", Body("plain\n"), "\r\nplain"),
        Ok("NoPathRequestsRoot", "{http}", Body("root\n"), "\r\nroot"),
        Ok("BlankIsEscapedFragmentDropped", "{http}/sp ace?k=v#top", Body("sp\n"), "\r\nsp"),
        Ok("UpperCaseHttpIsPlain", "  HTTP://127.0.0.1:{plainport}/upper  ", Body("up\n"), "\r\nup"),
        Ok("NotFoundKeepsBody", "{http}/notfound", Status("404 Not Found", "<h1>gone</h1>\r\n"), "\r\n<h1>gone</h1>",
           404),
        Ok("ServerErrorKeepsBody", "{http}/error", Status("500 Internal Server Error", "oops"), "\r\noops", 500),
        With(Ok("RedirectChain", "{http}/chain1", Redirect("302 Found", "/chain2"), "\r\nfinal"),
             [](SHttpScenario& sc) { sc.alsoRequested = {"/chain2", "/chain3"}; }),
        // Reached through /chain1 only.
        With(Ok("RedirectChainStep", "{http}/chain2", Redirect("301 Moved Permanently", "/chain3"), ""), RouteOnly),
        With(Ok("RedirectChainEnd", "{http}/chain3", Body("final\n"), ""), RouteOnly),
        With(Failed(Ok("RedirectLoopGivesUp", "{http}/loop", Redirect("302 Found", "/loop"), "")),
             [](SHttpScenario& sc) {
                 sc.nRequests = 1 + 20;  // the first request and twenty redirects followed
                 sc.nMaxMs = 15000;
             }),
        Ok("MalformedChunks", "{http}/badchunk",
           Raw("200 OK", "Transfer-Encoding: chunked\r\n", "zz\r\none\ntwo\n\r\n0\r\n\r\n"), ""),
        Failed(Ok("MalformedStatusLine", "{http}/malformed", Raw("OK-ish", "Content-Length: 5\r\n", "body\n"), "")),
        NoAnswer("RefusedPort", "{refused}/page"),
        With(NoAnswer("ConnectTimesOut", "{blackhole}/page"),
             [](SHttpScenario& sc) {
                 sc.nMinMs = kScenarioConnectMs - 200;
                 sc.nMaxMs = kScenarioConnectMs + 3000;
                 sc.bNativeOnly = true;  // Wine does not apply the connect time-out
             }),
        NoAnswer("UnresolvableHost", "http://vlm-nohost.invalid/page"),
        NoAnswer("SelfSignedCertificateRejected", "{https}/tls"),
        With(NoAnswer("UpperCaseSchemeIsSecure", "HTTPS://127.0.0.1:{plainport}/secure-upper", "/secure-upper"),
             TlsHello),
        With(NoAnswer("LeadingBlankIsSecure", " https://127.0.0.1:{plainport}/secure-blank", "/secure-blank"),
             TlsHello),
        // Dot segments and backslashes in the path are sent in their canonical
        // form; the query stays as written.
        With(Ok("DotDotSegmentResolved", "{http}/dots/../canon-a", Body("a\n"), "\r\na"), Requests("/canon-a")),
        With(Ok("DotSegmentResolved", "{http}/d/./canon-b?q=1", Body("b\n"), "\r\nb"), Requests("/d/canon-b?q=1")),
        With(Ok("BackslashIsSlash", "{http}/d\\canon-c", Body("c\n"), "\r\nc"), Requests("/d/canon-c")),
        // Interim 1xx blocks are no answer.
        With(Failed(Ok("InterimThenReset", "{http}/interim-reset", SHttpAnswer(), "")),
             [](SHttpScenario& sc) {
                 sc.answer.strHead = "HTTP/1.1 100 Continue\r\n\r\n";
                 sc.answer.eFault = SHttpAnswer::kResetAt;
             }),
        With(Ok("InterimThenAnswer", "{http}/interim-ok", Body("ok\n"), "\r\nok"),
             [](SHttpScenario& sc) {
                 sc.answer.strHead = "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200 OK\r\nConnection: close\r\n"
                                     "Content-Length: 3\r\n\r\n";
             }),
        // Only a status line with three digits gives a status.
        With(Failed(Ok("NoStatusLine", "{http}/nine", SHttpAnswer(), "")),
             [](SHttpScenario& sc) { sc.answer.strHead = "<html>an answer without a head\n</html>\n"; }),
        Failed(Ok("FourDigitStatus", "{http}/fourdigit", Status("1000 Odd", "odd\n"), "")),
        // The Windows layer shows an answer without a head as a head without
        // header lines: both count as no status line.
        With(Failed(Ok("HeadWithoutHeaderLines", "{http}/bare", SHttpAnswer(), "")),
             [](SHttpScenario& sc) { sc.answer.strHead = "HTTP/1.0 200 OK\r\n\r\n"; sc.answer.strBody = "bare\n"; }),
        // The CA-signed server: trusted through the CA variables, else refused,
        // and refused under another host name.
        With(Ok("CaFileTrusted", "{signed}/ca-file", Body("signed\n"), "\r\nsigned"), TrustCa("SSL_CERT_FILE")),
        With(Ok("CaDirTrusted", "{signed}/ca-dir", Body("signed\n"), "\r\nsigned"), TrustCa("SSL_CERT_DIR")),
        With(NoAnswer("CaNotTrusted", "{signed}/ca-none", "/ca-none"), [](SHttpScenario& sc) {
            sc.answer = Body("signed\n");
        }),
        With(NoAnswer("CaTrustedOtherHostName", "https://localhost:{signedport}/ca-name", "/ca-name"),
             TrustCa("SSL_CERT_FILE")),
        NoAnswer("EmptyAddress", ""),
        NoAnswer("OtherScheme", "ftp://127.0.0.1:{plainport}/file"),
    };
    // A Location leads on only with the five redirect codes; the others are
    // the final answer.
    for (const char* szStatus : {"303 See Other", "307 Temporary Redirect", "308 Permanent Redirect",
                                 "300 Multiple Choices", "304 Not Modified", "305 Use Proxy", "399 Odd"}) {
        std::string strCode(szStatus, 3);
        std::string strTarget = "/r" + strCode + "-target";
        bool bFollowed = strCode == "303" || strCode == "307" || strCode == "308";
        v.push_back(With(Ok("Redirect" + strCode + "Target", "{http}" + strTarget, Body("target\n"), ""), RouteOnly));
        SHttpScenario sc = Ok("Redirect" + strCode + (bFollowed ? "Followed" : "NotFollowed"), "{http}/r" + strCode,
                              Redirect(szStatus, strTarget), bFollowed ? "\r\ntarget" : "",
                              bFollowed ? 200 : std::atoi(szStatus));
        if (bFollowed) sc.alsoRequested = {strTarget};
        v.push_back(sc);
    }

    // 64 bytes a line: the 64 MiB cap ends the read after exactly 1 Mi lines,
    // of a body without end and of one announced 4 KiB longer than the cap.
    const std::string strLine = std::string(63, 'x') + "\n";
    v.push_back(Ok("EndlessBodyStopsAtCap", "{http}/endless", Raw("200 OK", "", strLine), "\r\n" + std::string(63, 'x')));
    v.back().answer.nRepeat = 0;
    v.push_back(Ok("HugeBodyStopsAtCap", "{http}/huge", Body(strLine), v.back().strPage));
    v.back().answer.nRepeat = 1024 * 1024 + 64;
    for (size_t i = v.size() - 2; i < v.size(); ++i) {
        v[i].nPageRepeat = 1024 * 1024;
        v[i].nMaxMs = 60000;
    }

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
        SHttpScenario sc = Ok(f.szName, std::string("{http}/") + f.szName, Body("one\ntwo\nthree\n"),
                              f.eFault == SHttpAnswer::kTrickle ? "\r\none\r\ntwo\r\nthree" : "\r\none\r\ntwo");
        if (f.eFault == SHttpAnswer::kStallFirst) sc = Failed(sc);
        sc.answer.eFault = f.eFault;
        sc.answer.nAt = 10;
        sc.answer.nMs = f.nMs;
        sc.nMinMs = f.nMinMs;
        sc.nMaxMs = f.nMaxMs;
        v.push_back(sc);
    }

    // Why the fetches without a status failed, where the layer can tell
    // (the others give kHttpFailOther).
    const struct {
        const char* szName;
        platform::EHttpFailure eFailure;
    } reasons[] = {
        {"RefusedPort", platform::kHttpFailRefused},
        {"UnresolvableHost", platform::kHttpFailNameNotResolved},
        {"ConnectTimesOut", platform::kHttpFailTimedOut},
        {"StallBeforeStatus", platform::kHttpFailTimedOut},
        {"SelfSignedCertificateRejected", platform::kHttpFailCertificate},
        {"CaNotTrusted", platform::kHttpFailCertificate},
        {"CaTrustedOtherHostName", platform::kHttpFailCertificate},
        {"RedirectLoopGivesUp", platform::kHttpFailTooManyRedirects},
        {"EmptyAddress", platform::kHttpFailBadAddress},
        {"OtherScheme", platform::kHttpFailBadAddress},
    };
    for (const auto& r : reasons) {
        for (SHttpScenario& sc : v) {
            if (sc.strName == r.szName) sc.eFailure = r.eFailure;
        }
    }
    return v;
}

void InstallScenarios(SScenarioServers& servers, const std::vector<SHttpScenario>& scenarios) {
    for (const SHttpScenario& sc : scenarios) {
        if (sc.strPath.empty()) continue;
        servers.RouteServer(sc).SetAnswer(sc.strPath, sc.answer);
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
    EXPECT_EQ(out.eFailure, sc.eFailure) << "why no status (platform::EHttpFailure)";
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
    const CTestHttpServer& server = servers.RouteServer(sc);
    std::vector<SHttpRequestRecord> reqs = server.RequestsFor(sc.strPath);
    EXPECT_EQ(static_cast<int>(reqs.size()), sc.nRequests);
    if (reqs.empty() || sc.strTarget.empty()) return;
    const SHttpRequestRecord& r = reqs.front();
    EXPECT_EQ(r.strMethod, "GET");
    EXPECT_EQ(r.strVersion, "HTTP/1.0");
    EXPECT_EQ(r.Header("Content-Type"), "application/x-www-form-urlencoded");
    EXPECT_EQ(r.Header("User-Agent"), strAgent);
    std::string strNames;
    for (const auto& h : r.headers) strNames += h.first + ";";
    // A secure request does not ask to keep its connection.
    bool bSecure = &server != &servers.plain;
    EXPECT_EQ(strNames, bSecure ? "Host;User-Agent;Content-Type;" : "Host;User-Agent;Content-Type;Connection;");
    EXPECT_EQ(r.Header("Host"), "127.0.0.1:" + std::to_string(server.Port()));
    if (!bSecure) {
        EXPECT_EQ(r.Header("Connection"), "Keep-Alive");
    }
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
