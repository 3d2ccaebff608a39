// A small web server for trying the service, its process tests and the
// benchmark: serves one page on 127.0.0.1 to every GET, for a bounded time.
//
//   VlmPageServer [--seconds N] [--port-file FILE] [--page-bytes N] [--kind KIND]
//                 [--endless] [--tls CA_DIR] [--hang] [--answer FILE] [--numbered MS]
//
// Listens on a free port of 127.0.0.1; writes "http://127.0.0.1:PORT/" to
// FILE (or standard output), logs one line per request on standard error
// ("page server: GET /... HTTP/1.1") and ends by itself after N seconds
// (default 60). The page is a fixed UTF-8 page, or N bytes of one kind of
// page (--page-bytes; --kind, see kKinds below, default lines); --endless
// sends page lines without end and without a length; --hang reads each
// request and never answers it. --tls serves HTTPS with a certificate signed
// by a CA made now, whose certificate goes to CA_DIR/ca.pem. --answer sends
// the bytes of FILE as the whole answer (head and body, or a head cut off, or
// no head at all), then closes the connection. --numbered gives every answer
// a page of its own, "answer N", eight lines and "end N" (N the number of the
// request), logs "page server: answer N sent whole" once all of it went out,
// and answers two paths late: /slow-head sends nothing for MS milliseconds and
// then closes, /half-body sends the head and half the page, nothing for MS
// milliseconds, then the rest.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
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

// The kinds of page that --page-bytes fills, each by repeating its unit.
const struct {
    const char* szName;
    const char* szUnit;
} kKinds[] = {
    {"lines", kPageLine},                                    // text lines in markup
    {"anchors", "<a href=\"/news/item?id=1024\">item</a>"},  // links, no line feed
    {"markup", "<a>"},  // nothing visible: the reduction gives back the page
    {"script", "<script type=\"text/javascript\">var n = 1; if (n < 2) f(n);</script>\n"},
    // 中文网页内容，全角空格　分隔 in UTF-8, then in code page 936
    {"utf8", "<p>\xe4\xb8\xad\xe6\x96\x87\xe7\xbd\x91\xe9\xa1\xb5\xe5\x86\x85\xe5\xae\xb9\xef\xbc\x8c\xe5\x85\xa8"
             "\xe8\xa7\x92\xe7\xa9\xba\xe6\xa0\xbc\xe3\x80\x80\xe5\x88\x86\xe9\x9a\x94 2026</p>\n"},
    {"gbk", "<p>\xd6\xd0\xce\xc4\xcd\xf8\xd2\xb3\xc4\xda\xc8\xdd\xa3\xac\xc8\xab\xbd\xc7\xbf\xd5\xb8\xf1\xa1\xa1"
            "\xb7\xd6\xb8\xf4 2026</p>\n"},
    {"blank", "\n"},  // empty lines: the page text is twice the body
};

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

SHttpAnswer MakeAnswer(long nPageBytes, const char* szUnit, bool bEndless, bool bHang, double nSeconds) {
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
    const std::string strLine = szUnit;
    answer.strBody.reserve(static_cast<size_t>(nPageBytes) + strLine.size());
    while (answer.strBody.size() < static_cast<size_t>(nPageBytes)) answer.strBody += strLine;
    answer.strBody.resize(static_cast<size_t>(nPageBytes));
    return answer;
}

}  // namespace

int main(int argc, char** argv) {
    double nSeconds = 60;
    const char* szPortFile = nullptr;
    long nPageBytes = -1;
    bool bHang = false, bEndless = false;
    const char* szUnit = kPageLine;
    const char* szCaDir = nullptr;
    const char* szAnswerFile = nullptr;
    long nLateMs = -1;
    for (int i = 1; i < argc; ++i) {
        if (strcmp(argv[i], "--hang") == 0) bHang = true;
        if (strcmp(argv[i], "--endless") == 0) bEndless = true;
        if (i + 1 >= argc) continue;
        if (strcmp(argv[i], "--seconds") == 0) nSeconds = atof(argv[i + 1]);
        if (strcmp(argv[i], "--port-file") == 0) szPortFile = argv[i + 1];
        if (strcmp(argv[i], "--page-bytes") == 0) nPageBytes = atol(argv[i + 1]);
        if (strcmp(argv[i], "--tls") == 0) szCaDir = argv[i + 1];
        if (strcmp(argv[i], "--answer") == 0) szAnswerFile = argv[i + 1];
        if (strcmp(argv[i], "--numbered") == 0) nLateMs = atol(argv[i + 1]);
        if (strcmp(argv[i], "--kind") != 0) continue;
        szUnit = nullptr;
        for (const auto& kind : kKinds) {
            if (strcmp(argv[i + 1], kind.szName) == 0) szUnit = kind.szUnit;
        }
        if (!szUnit) {
            fprintf(stderr, "page server: unknown kind %s\n", argv[i + 1]);
            return 2;
        }
    }
    CLoopbackServer server;
    if (!(szCaDir ? server.StartWithCa(std::string(szCaDir) + "/") : server.Start())) {
        perror("page server");
        return 1;
    }
    SHttpAnswer answer = MakeAnswer(nPageBytes, szUnit, bEndless, bHang, nSeconds);
    if (szAnswerFile) {
        std::ifstream in(szAnswerFile, std::ios::binary);
        answer = SHttpAnswer();
        answer.strHead.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        if (!in.is_open() || answer.strHead.empty()) {
            fprintf(stderr, "page server: no answer in %s\n", szAnswerFile);
            return 1;
        }
    }
    if (nLateMs >= 0) {
        answer = SHttpAnswer();
        answer.strBody = kNumberedPage;
        AddLateAnswers(server, answer, static_cast<uint32_t>(nLateMs));
    }
    server.SetDefaultAnswer(answer);
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
