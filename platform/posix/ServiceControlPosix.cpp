// Linux side of the dispatcher: the notify protocol on NOTIFY_SOCKET and
// signals turned into controls (SIGTERM, SIGINT and SIGQUIT stop, SIGRTMIN+k
// is control 128+k).
#include <errno.h>
#include <pthread.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "platform/posix/ErrnoGuard.h"
#include "platform/Service.h"
#include "platform/posix/PosixInternal.h"

namespace platform {

namespace {


std::atomic<bool> g_bDispatching{false};
std::atomic<ControlHandlerFn> g_pfnHandler{nullptr};
// Set once the service has reported running: controls wait for it, as the
// Windows service manager sends none to a service that is still starting.
std::atomic<bool> g_bRunningReported{false};
int g_nStatusMark = 0;

const char* StraySignalName(int nSig) {
    switch (nSig) {
    case SIGUSR1: return "SIGUSR1";
    case SIGUSR2: return "SIGUSR2";
    case SIGALRM: return "SIGALRM";
    default: return "signal";
    }
}

}  // namespace

void SendNotify(const std::string& strMessage) {
    const char* szSocket = getenv("NOTIFY_SOCKET");
    if (!szSocket || !*szSocket) return;
    struct sockaddr_un addr;
    memset(&addr, 0, sizeof(addr));
    addr.sun_family = AF_UNIX;
    size_t nLen = strlen(szSocket);
    if (nLen >= sizeof(addr.sun_path)) return;
    memcpy(addr.sun_path, szSocket, nLen);
    // An abstract socket is named with a leading "@".
    if (addr.sun_path[0] == '@') addr.sun_path[0] = '\0';
    CErrnoGuard errnoGuard;
    CFd sock(socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    if (sock) {
        sendto(sock.Get(), strMessage.data(), strMessage.size(), MSG_NOSIGNAL,
               reinterpret_cast<struct sockaddr*>(&addr),
               static_cast<socklen_t>(offsetof(struct sockaddr_un, sun_path) + nLen));
        sock.Reset();
    }
}

bool RunServiceDispatcher(const char* szName, ServiceEntryFn pfnEntry, bool bConsole) {
    const char* szSocket = getenv("NOTIFY_SOCKET");
    if (!bConsole && (!szSocket || !*szSocket)) {
        // Not started by the service manager.
        errno = ENOTCONN;
        return false;
    }

    // A closed standard output (or any other pipe) gives EPIPE to the write,
    // never a SIGPIPE that ends the process.
    signal(SIGPIPE, SIG_IGN);

    // The controls arrive as signals; they are taken here, on the calling
    // thread, with sigtimedwait. Blocking them before the service thread
    // starts makes every later thread inherit the block. SIGTERM, SIGINT and
    // SIGQUIT stop; SIGRTMIN+k is control 128+k; SIGHUP is ignored; SIGUSR1,
    // SIGUSR2 and SIGALRM are ignored with a line on standard error (the
    // journal under systemd).
    sigset_t controls;
    sigemptyset(&controls);
    for (int nSig : {SIGTERM, SIGINT, SIGQUIT, SIGHUP, SIGUSR1, SIGUSR2, SIGALRM}) {
        sigaddset(&controls, nSig);
    }
    for (int nSig = SIGRTMIN; nSig <= SIGRTMAX; ++nSig) sigaddset(&controls, nSig);
    // They stay blocked when the dispatcher returns: a late stop signal must
    // not end the process with its default action while it closes down.
    pthread_sigmask(SIG_BLOCK, &controls, nullptr);

    std::atomic<bool> bEnded{false};
    g_pfnHandler = nullptr;
    g_bRunningReported = false;
    g_bDispatching = true;
    std::string strName = szName;
    std::thread service([&] {
        char* pArgs[2] = {&strName[0], nullptr};
        pfnEntry(1, pArgs);
        bEnded = true;
    });

    // Controls that arrive before the service has reported running wait for
    // it; a stop during the start is then carried out right after it.
    std::vector<uint32_t> pending;
    while (!bEnded) {
        struct timespec wait = {0, 50 * 1000 * 1000};
        int nSig = sigtimedwait(&controls, nullptr, &wait);
        if (nSig == SIGTERM || nSig == SIGINT || nSig == SIGQUIT) {
            pending.push_back(kControlStop);
        } else if (nSig >= SIGRTMIN && nSig <= SIGRTMAX) {
            pending.push_back(kControlUserFirst + static_cast<uint32_t>(nSig - SIGRTMIN));
        } else if (nSig == SIGUSR1 || nSig == SIGUSR2 || nSig == SIGALRM) {
            fprintf(stderr, "%s: %s ignored\n", szName, StraySignalName(nSig));
            fflush(stderr);
        }
        ControlHandlerFn pfnHandler = g_pfnHandler.load();
        if (pfnHandler && g_bRunningReported && !pending.empty() && !bEnded) {
            for (uint32_t nCode : pending) pfnHandler(nCode);
            pending.clear();
        }
    }
    service.join();
    g_bDispatching = false;
    g_pfnHandler = nullptr;
    return true;
}

StatusHandle RegisterControlHandler(const char*, ControlHandlerFn pfnHandler) {
    if (!g_bDispatching || !pfnHandler) {
        errno = EINVAL;
        return nullptr;
    }
    g_pfnHandler = pfnHandler;
    return &g_nStatusMark;
}

bool ReportServiceStatus(StatusHandle hStatus, const SServiceStatus& status) {
    if (hStatus != &g_nStatusMark) {
        errno = EINVAL;
        return false;
    }
    switch (status.dwCurrentState.load()) {
    case kServiceStartPending:
        SendNotify("STATUS=Starting");
        break;
    case kServiceRunning:
        SendNotify("READY=1\nSTATUS=Running");
        g_bRunningReported = true;
        break;
    case kServiceStopPending:
        SendNotify("STOPPING=1\nSTATUS=Stopping");
        break;
    case kServiceStopped:
        SendNotify("STATUS=Stopped, exit code " + std::to_string(status.dwWin32ExitCode.load()));
        break;
    default:
        break;
    }
    return true;
}

void ReportServiceText(const std::string& strText) {
    std::string strLine = Cp936ToUtf8(strText);
    for (char& c : strLine) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = ' ';
    }
    SendNotify("STATUS=" + strLine);
}

}  // namespace platform
