// A small web server for trying the service and for its tests: serves one
// fixed UTF-8 page on 127.0.0.1 to every GET, for a bounded time.
//
//   VlmPageServer [--seconds N] [--port-file FILE]
//
// Listens on a free port of 127.0.0.1; writes "http://127.0.0.1:PORT/" to
// FILE (or standard output), logs one line per request on standard error and
// ends by itself after N seconds (default 60).
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

const char kPage[] =
    "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>VlmRefresh</title>\n"
    "<script type=\"text/javascript\">var ignored = 1;</script></head>\n"
    "<body><h1>VlmRefresh test page</h1>\n"
    "<p>\xe4\xbd\xa0\xe5\xa5\xbd\xef\xbc\x8c\xe4\xb8\x96\xe7\x95\x8c</p>\n"  // 你好，世界
    "</body></html>\n";

double NowSeconds() {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

// Reads the request head (bounded in size and time) and answers it.
void Serve(int fd) {
    std::string strRequest;
    char buffer[2048];
    double tLimit = NowSeconds() + 5;
    while (strRequest.find("\r\n\r\n") == std::string::npos && strRequest.size() < 65536) {
        struct pollfd p = {fd, POLLIN, 0};
        if (poll(&p, 1, 200) <= 0) {
            if (NowSeconds() > tLimit) return;
            continue;
        }
        ssize_t n = recv(fd, buffer, sizeof(buffer), 0);
        if (n <= 0) break;
        strRequest.append(buffer, static_cast<size_t>(n));
    }
    std::string strLine = strRequest.substr(0, strRequest.find("\r\n"));
    fprintf(stderr, "page server: %s\n", strLine.c_str());
    std::string strBody = kPage;
    std::string strAnswer = "HTTP/1.0 200 OK\r\nContent-Type: text/html; charset=utf-8\r\n"
                            "Content-Length: " + std::to_string(strBody.size()) +
                            "\r\nConnection: close\r\n\r\n" + strBody;
    size_t nSent = 0;
    while (nSent < strAnswer.size()) {
        ssize_t n = send(fd, strAnswer.data() + nSent, strAnswer.size() - nSent, MSG_NOSIGNAL);
        if (n <= 0) break;
        nSent += static_cast<size_t>(n);
    }
}

}  // namespace

int main(int argc, char** argv) {
    double nSeconds = 60;
    const char* szPortFile = nullptr;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (strcmp(argv[i], "--seconds") == 0) nSeconds = atof(argv[i + 1]);
        if (strcmp(argv[i], "--port-file") == 0) szPortFile = argv[i + 1];
    }
    int fdListen = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    struct sockaddr_in addr;
    memset(&addr, 0, sizeof(addr));
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t nLen = sizeof(addr);
    if (fdListen < 0 || bind(fdListen, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0 ||
        listen(fdListen, 16) != 0 ||
        getsockname(fdListen, reinterpret_cast<sockaddr*>(&addr), &nLen) != 0) {
        perror("page server");
        return 1;
    }
    std::string strUrl = "http://127.0.0.1:" + std::to_string(ntohs(addr.sin_port)) + "/";
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
    double tEnd = NowSeconds() + nSeconds;
    while (NowSeconds() < tEnd) {
        struct pollfd p = {fdListen, POLLIN, 0};
        if (poll(&p, 1, 200) <= 0) continue;
        int fd = accept(fdListen, nullptr, nullptr);
        if (fd < 0) continue;
        Serve(fd);
        close(fd);
    }
    close(fdListen);
    return 0;
}
