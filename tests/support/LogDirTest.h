// A test whose executable's directory is a fresh temporary one, on a fake
// clock: the log files of the test land under LogDir().
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "platform/Platform.h"
#include "support/FakeClock.h"
#include "support/TestSupport.h"

// The directory is also the system root, so that events (a log file that
// cannot be written) go to its dev/log, not to the machine's syslog.
class CLogDirTest : public testing::Test {
protected:
    explicit CLogDirTest(int64_t tStart = CFakeClock::At(2026, 3, 7, 9, 5, 2)) : m_clock(tStart) {
        m_env.m_strExecutable = m_dir.Path() + "VlmRefreshSvc.exe";
        m_env.m_pClock = &m_clock;
        m_env.m_strSystemRoot = m_dir.Path();
    }

    std::string LogDir() const { return m_dir.Path() + "log" + platform::kPathSep; }
    std::string LogFile(const std::string& strName) const { return LogDir() + strName; }
    std::string ReadLog(const std::string& strName) const { return ReadWholeFile(LogFile(strName)); }

    CTempDir m_dir;
    CFakeClock m_clock;
    CTestEnv m_env;
};
