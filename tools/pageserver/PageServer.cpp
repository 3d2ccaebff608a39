// A small web server for trying the service, its process tests and the
// benchmark: serves one page on 127.0.0.1 to every GET, for a bounded time.
//
//   VlmPageServer [--seconds N] [--port-file FILE] [--page-bytes N] [--anchors]
//                 [--endless] [--tls CA_DIR] [--hang] [--numbered MS]
//
// Listens on a free port of 127.0.0.1; writes "http://127.0.0.1:PORT/" to
// FILE (or standard output), logs one line per request on standard error
// ("page server: GET /... HTTP/1.1") and ends by itself after N seconds
// (default 60). The page is a fixed UTF-8 page, or N bytes of page lines
// (--page-bytes), of <a> tags without line feeds with --anchors; --endless
// sends page lines without end and without a length; --hang reads each
// request and never answers it. --tls serves HTTPS with a certificate signed
// by a CA made now, whose certificate goes to CA_DIR/ca.pem. --numbered gives
// every answer a page of its own, "answer N", eight lines and "end N" (N the
// number of the request), logs "page server: answer N sent whole" once all of
// it went out, and answers two paths late: /slow-head sends nothing for MS
// milliseconds and then closes, /half-body sends the head and half the page,
// nothing for MS milliseconds, then the rest.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "pageserver/LoopbackServer.h"

namespace {

const char kPage[] =
    "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>VlmRefresh</title>\n"
    "<script type=\"text/javascript\">var ignored = 1;</script></head>\n"
    "<body><h1>VlmRefresh test page</h1>\n"
    "<p>\xe4\xbd\xa0\xe5\xa5\xbd\xef\xbc\x8c\xe4\xb8\x96\xe7\x95\x8c</p>\n"  // 你好，世界
    "</body></html>\n";

const char kPageLine[] = "<p>refreshed page line with some text in it, padded to eighty bytes....</p>\n";
const char kAnchor[] = "<a href=\"/news/item?id=1024\">item</a>";

const char kNumberedPage[] =
    "<html><body><p>answer {n}</p>\n"
    "<p>line</p>\n<p>line</p>\n<p>line</p>\n<p>line</p>\n<p>line</p>\n<p>line</p>\n<p>line</p>\n<p>line</p>\n"
    "<p>end {n}</p></body></html>\n";

// The late answers of --numbered on their paths.
void AddLateAnswers(CLoopbackServer& server, const SHttpAnswer& page, uint32_t nMs) {
    SHttpAnswer late = page;
    late.nMs = nMs;
    late.eFault = SHttpAnswer::kStallFirst;
    server.SetAnswer("/slow-head", late);
    late.eFault = SHttpAnswer::kStallAt;
    late.nAt = late.strBody.size() / 2;
    server.SetAnswer("/half-body", late);
}

SHttpAnswer MakeAnswer(long nPageBytes, bool bAnchors, bool bEndless, bool bHang, double nSeconds) {
    SHttpAnswer answer;
    if (bHang) {
        answer.eFault = SHttpAnswer::kStallFirst;
        answer.nMs = static_cast<uint32_t>(nSeconds * 1000);
        return answer;
    }
    if (bEndless) {
        answer.strHead = "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\nConnection: close\r\n\r\n";
        for (int i = 0; i < 800; ++i) answer.strBody += kPageLine;
        answer.nRepeat = 0;
        return answer;
    }
    if (nPageBytes < 0) {
        answer.strBody = kPage;
        answer.strHead = "HTTP/1.0 200 OK\r\nContent-Type: text/html; charset=utf-8\r\nContent-Length: " +
                         std::to_string(answer.strBody.size()) + "\r\nConnection: close\r\n\r\n";
        return answer;
    }
    const std::string strLine = bAnchors ? kAnchor : kPageLine;
    while (answer.strBody.size() < static_cast<size_t>(nPageBytes)) answer.strBody += strLine;
    answer.strBody.resize(static_cast<size_t>(nPageBytes));
    return answer;
}

}  // namespace

int main(int argc, char** argv) {
    double nSeconds = 60;
    const char* szPortFile = nullptr;
    long nPageBytes = -1;
    bool bHang = false, bAnchors = false, bEndless = false;
    const char* szCaDir = nullptr;
    long nLateMs = -1;
    for (int i = 1; i < argc; ++i) {
        if (strcmp(argv[i], "--hang") == 0) bHang = true;
        if (strcmp(argv[i], "--anchors") == 0) bAnchors = true;
        if (strcmp(argv[i], "--endless") == 0) bEndless = true;
        if (i + 1 >= argc) continue;
        if (strcmp(argv[i], "--seconds") == 0) nSeconds = atof(argv[i + 1]);
        if (strcmp(argv[i], "--port-file") == 0) szPortFile = argv[i + 1];
        if (strcmp(argv[i], "--page-bytes") == 0) nPageBytes = atol(argv[i + 1]);
        if (strcmp(argv[i], "--tls") == 0) szCaDir = argv[i + 1];
        if (strcmp(argv[i], "--numbered") == 0) nLateMs = atol(argv[i + 1]);
    }
    CLoopbackServer server;
    if (!(szCaDir ? server.StartWithCa(std::string(szCaDir) + "/") : server.Start())) {
        perror("page server");
        return 1;
    }
    SHttpAnswer page = MakeAnswer(nPageBytes, bAnchors, bEndless, bHang, nSeconds);
    if (nLateMs >= 0) {
        page = SHttpAnswer();
        page.strBody = kNumberedPage;
        AddLateAnswers(server, page, static_cast<uint32_t>(nLateMs));
    }
    server.SetDefaultAnswer(page);
    std::string strUrl = server.Url("/");
    if (szPortFile) {
        // Written under another name and renamed: a reader sees all or nothing.
        std::string strTemp = std::string(szPortFile) + ".tmp";
        FILE* f = fopen(strTemp.c_str(), "w");
        if (!f) return 1;
        fprintf(f, "%s\n", strUrl.c_str());
        if (fclose(f) != 0 || rename(strTemp.c_str(), szPortFile) != 0) return 1;
    } else {
        printf("%s\n", strUrl.c_str());
        fflush(stdout);
    }
    auto tEnd = std::chrono::steady_clock::now() + std::chrono::milliseconds(static_cast<long long>(nSeconds * 1000));
    size_t nLogged = 0;
    std::vector<bool> whole;  // answers logged as sent whole
    while (std::chrono::steady_clock::now() < tEnd) {
        std::vector<SHttpRequestRecord> requests = server.Requests();
        for (; nLogged < requests.size(); ++nLogged) {
            const SHttpRequestRecord& r = requests[nLogged];
            fprintf(stderr, "page server: %s %s %s\n", r.strMethod.c_str(), r.strTarget.c_str(), r.strVersion.c_str());
        }
        whole.resize(requests.size());
        for (size_t i = 0; nLateMs >= 0 && i < requests.size(); ++i) {
            if (whole[i] || !requests[i].bAnsweredWhole) continue;
            whole[i] = true;
            fprintf(stderr, "page server: answer %zu sent whole\n", i + 1);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return 0;
}
