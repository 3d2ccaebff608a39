// Helpers shared by the tests: temporary directories and whole-file reads.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "support/TestEnv.h"

// A fresh, empty directory, removed with its content when the object goes.
// Path() ends in the platform's path separator.
class CTempDir {
public:
    CTempDir();
    ~CTempDir();
    CTempDir(const CTempDir&) = delete;
    CTempDir& operator=(const CTempDir&) = delete;

    const std::string& Path() const { return m_strPath; }
    std::string File(const std::string& strName) const { return m_strPath + strName; }

private:
    std::string m_strPath;
};

// Makes the given directory count as the executable's directory for as long
// as the object lives (GetModuleDir, config.ini, log/).
struct CModuleDirOverride : CTestEnv {
    explicit CModuleDirOverride(const std::string& strDir) { m_strExecutable = strDir + "VlmRefreshSvc.exe"; }
};

// The file's bytes; empty when it cannot be read.
std::string ReadWholeFile(const std::string& strPath);
// Writes the bytes as they are (no line-end translation).
void WriteWholeFile(const std::string& strPath, const std::string& strBytes);
// Sets the file's modification time, in milliseconds since 1970 (UTC).
void SetFileTimeMs(const std::string& strPath, int64_t nMs);
// The test process's own home: a temporary directory made before any global
// object is built, standing in for the executable's directory.
const std::string& TestHomeDir();
// The text n times over.
inline std::string Repeat(const std::string& str, int n) { std::string s; while (n-- > 0) s += str; return s; }
// Polls the condition every 20 ms for up to nMs; true when it held.
bool WaitUntil(const std::function<bool()>& condition, int nMs);

// Milliseconds of the monotonic clock.
int64_t SteadyMs();

#ifndef _WIN32
// Waits up to nMs for the child process; its exit code, or -1 on an
// abnormal end or a time-out (the child is then killed and reaped).
int WaitChild(int pid, int nMs);
// A port of 127.0.0.1 that was free a moment ago (nobody listens there).
uint16_t FreeLoopbackPort();

// A datagram socket bound to a path, as systemd's notify socket and the
// syslog socket are; it keeps what it receives.
class CDatagramSink {
public:
    explicit CDatagramSink(const std::string& strPath);
    ~CDatagramSink();
    CDatagramSink(const CDatagramSink&) = delete;
    CDatagramSink& operator=(const CDatagramSink&) = delete;

    // Receives until a datagram (kept or new) contains strWanted or nMs pass.
    bool WaitFor(const std::string& strWanted, int nMs);
    // The datagrams not taken yet, once none has come for nQuietMs.
    std::vector<std::string> Take(int nQuietMs = 50);
    const std::vector<std::string>& Received() const { return m_received; }

private:
    bool ReceiveOne(int nMs);
    int m_fd;
    size_t m_nTaken = 0;
    std::vector<std::string> m_received;
};
#endif
