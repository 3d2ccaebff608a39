// A stop while the worker waits for a page that never comes: the service,
// run as a console run and under the notify protocol, ends within 2 s of the
// signal instead of waiting for the request's time-out. And a stop after an
// HTTPS page was fetched: the process ends with exit code 0 (under the
// sanitizers, with no report of the TLS library's state).
#ifndef _WIN32

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "support/TestHttpServer.h"
#include "support/TestSupport.h"

namespace {

// Waits up to nMs for the process; its exit code, or -1 on a time-out (the
// process is then killed) or an abnormal end.
int WaitExit(pid_t pid, int nMs) {
    int64_t tEnd = SteadyMs() + nMs;
    int nStatus = 0;
    for (;;) {
        if (waitpid(pid, &nStatus, WNOHANG) == pid) return WIFEXITED(nStatus) ? WEXITSTATUS(nStatus) : -1;
        if (SteadyMs() > tEnd) {
            kill(pid, SIGKILL);
            waitpid(pid, &nStatus, 0);
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

TEST(HttpStopProcess, StopEndsTheServiceDuringAndAfterRequests) {
    // A server that accepts the request and never answers it.
    CTestHttpServer server;
    ASSERT_TRUE(server.Start());
    SHttpAnswer hang;
    hang.eFault = SHttpAnswer::kStallFirst;
    hang.nMs = 60000;
    server.SetAnswer("/hang", hang);
    CTempDir caDir;
    CTestHttpServer secure;
    ASSERT_TRUE(secure.StartWithCa(caDir.Path()));
    SHttpAnswer page;
    page.strBody = "<p>secure</p>\n";
    secure.SetAnswer("/page", page);

    const struct {
        const char* szName;
        bool bNotify;
        CTestHttpServer* pServer;
        const char* szPath;
    } cases[] = {
        {"console, hanging request", false, &server, "/hang"},
        {"notify, hanging request", true, &server, "/hang"},
        {"console, HTTPS page", false, &secure, "/page"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.szName);
        bool bNotify = c.bNotify;
        CTempDir exeDir, root;
        std::string strExe = exeDir.File("VlmRefreshSvc");
        WriteWholeFile(strExe, ReadWholeFile(VLM_BINARY_DIR "/VlmRefreshSvc"));
        chmod(strExe.c_str(), 0755);
        WriteWholeFile(exeDir.File("config.ini"), "[VlmWebRefresh]\r\nSoftOn=1\r\nUrl=" + c.pServer->Url(c.szPath) +
                                                      "\r\nTimeStartFrom=0\r\nTimeSecond2=5\r\nLog=1\r\n");
        std::string strNotify = root.File("notify.sock");
        CDatagramSink notify(strNotify);
        size_t nSeen = c.pServer->RequestsFor(c.szPath).size();

        pid_t pid = fork();
        if (pid == 0) {
            setenv("VLM_SYSTEM_ROOT", root.Path().c_str(), 1);
            setenv("SSL_CERT_FILE", caDir.File("ca.pem").c_str(), 1);
            if (bNotify) setenv("NOTIFY_SOCKET", strNotify.c_str(), 1);
            int nNull = open("/dev/null", O_WRONLY);
            dup2(nNull, 1);
            if (bNotify) {
                execl(strExe.c_str(), strExe.c_str(), static_cast<char*>(nullptr));
            } else {
                execl(strExe.c_str(), strExe.c_str(), "-f", static_cast<char*>(nullptr));
            }
            _exit(127);
        }
        ASSERT_GT(pid, 0);
        bool bAsked = false;
        for (int64_t tEnd = SteadyMs() + 10000; SteadyMs() < tEnd && !bAsked;
             std::this_thread::sleep_for(std::chrono::milliseconds(20)))
            bAsked = c.pServer->RequestsFor(c.szPath).size() > nSeen;
        EXPECT_TRUE(bAsked) << "the page was never requested";
        std::this_thread::sleep_for(std::chrono::milliseconds(300));

        kill(pid, SIGTERM);
        int64_t tStop = SteadyMs();
        EXPECT_EQ(0, WaitExit(pid, 5000));
        int64_t nMs = SteadyMs() - tStop;
        EXPECT_LE(nMs, 2000) << "the stop took " << nMs << " ms";
        std::printf("stop (%s): %lld ms\n", c.szName, static_cast<long long>(nMs));
    }
}

}  // namespace

#endif  // _WIN32
