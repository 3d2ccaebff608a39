#include "support/TestSupport.h"

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "platform/Platform.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#endif

namespace fs = std::filesystem;

CTempDir::CTempDir() {
    static std::atomic<unsigned> s_nCounter{0};
    const std::string strStamp = std::to_string(std::chrono::steady_clock::now().time_since_epoch().count());
    fs::path p;
    std::error_code ec;
    do p = fs::temp_directory_path() / ("vlmtest-" + strStamp + "-" + std::to_string(s_nCounter++));
    while (!fs::create_directory(p, ec));
    m_strPath = p.string() + platform::kPathSep;
}

CTempDir::~CTempDir() {
    std::error_code ec;
    fs::remove_all(fs::path(m_strPath), ec);
}

std::string ReadWholeFile(const std::string& strPath) {
    std::string strOut;
    platform::ReadFileBytes(strPath, strOut);
    return strOut;
}

void WriteWholeFile(const std::string& strPath, const std::string& strBytes) {
    std::ofstream(strPath, std::ios::binary) << strBytes;
}

void SetFileTimeMs(const std::string& strPath, int64_t nMs) {
#ifdef _WIN32
    const uint64_t nTime = static_cast<uint64_t>(nMs) * 10000 + 116444736000000000ULL;  // 100 ns since 1601
    const FILETIME ft = {static_cast<DWORD>(nTime), static_cast<DWORD>(nTime >> 32)};
    HANDLE h = CreateFileA(strPath.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    SetFileTime(h, nullptr, nullptr, &ft);
    CloseHandle(h);
#else
    const timespec times[2] = {{0, UTIME_OMIT}, {nMs / 1000, nMs % 1000 * 1000000}};
    utimensat(AT_FDCWD, strPath.c_str(), times, 0);
#endif
}

const std::string& TestHomeDir() {
    static CTempDir s_home;
    return s_home.Path();
}

bool WaitUntil(const std::function<bool()>& condition, int nMs) {
    auto tEnd = std::chrono::steady_clock::now() + std::chrono::milliseconds(nMs);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > tEnd) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

int64_t SteadyMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

#ifndef _WIN32
int WaitChild(int pid, int nMs) {
    int nStatus = 0;
    if (!WaitUntil([&] { return waitpid(pid, &nStatus, WNOHANG) == pid; }, nMs)) {
        kill(pid, SIGKILL);
        waitpid(pid, &nStatus, 0);
        return -1;
    }
    return WIFEXITED(nStatus) ? WEXITSTATUS(nStatus) : -1;
}

uint16_t FreeLoopbackPort() {
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t nLen = sizeof addr;
    int nSocket = socket(AF_INET, SOCK_STREAM, 0);
    bool bOk = bind(nSocket, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
               getsockname(nSocket, reinterpret_cast<sockaddr*>(&addr), &nLen) == 0;
    close(nSocket);
    return bOk ? ntohs(addr.sin_port) : 0;
}

CDatagramSink::CDatagramSink(const std::string& strPath) {
    m_fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    strncpy(addr.sun_path, strPath.c_str(), sizeof(addr.sun_path) - 1);
    if (strPath.size() >= sizeof(addr.sun_path) || bind(m_fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0)
        fprintf(stderr, "cannot bind a datagram socket to %s\n", strPath.c_str());
}

CDatagramSink::~CDatagramSink() { close(m_fd); }

bool CDatagramSink::ReceiveOne(int nMs) {
    pollfd p = {m_fd, POLLIN, 0};
    if (poll(&p, 1, nMs) <= 0) return false;
    char buffer[4096];
    ssize_t n = recv(m_fd, buffer, sizeof(buffer), 0);
    if (n > 0) m_received.emplace_back(buffer, static_cast<size_t>(n));
    return n > 0;
}

bool CDatagramSink::WaitFor(const std::string& strWanted, int nMs) {
    const int64_t tEnd = SteadyMs() + nMs;
    for (size_t i = 0;; ++i) {
        while (i == m_received.size()) {
            if (SteadyMs() >= tEnd) return false;
            ReceiveOne(static_cast<int>(tEnd - SteadyMs()));
        }
        if (m_received[i].find(strWanted) != std::string::npos) return true;
    }
}

std::vector<std::string> CDatagramSink::Take(int nQuietMs) {
    while (ReceiveOne(nQuietMs)) {}
    std::vector<std::string> taken(m_received.begin() + static_cast<std::ptrdiff_t>(m_nTaken), m_received.end());
    m_nTaken = m_received.size();
    return taken;
}
#endif
