// A test whose executable's directory is a fresh temporary one, on a fake
// clock: the log files of the test land under LogDir().
#pragma once

#include <gtest/gtest.h>

#include <stdlib.h>

#include <string>

#include "platform/Platform.h"
#include "support/FakeClock.h"
#include "support/TestSupport.h"

// On Linux the directory is also the system root, so that events (a log file
// that cannot be written) go to its dev/log, not to the machine's syslog.
class CLogDirTest : public testing::Test {
protected:
    explicit CLogDirTest(int64_t tStart = CFakeClock::At(2026, 3, 7, 9, 5, 2))
        : m_override(m_dir.Path()), m_clock(tStart), m_clockScope(m_clock) {
#ifndef _WIN32
        setenv("VLM_SYSTEM_ROOT", m_dir.Path().c_str(), 1);
#endif
    }
#ifndef _WIN32
    ~CLogDirTest() override { unsetenv("VLM_SYSTEM_ROOT"); }
#endif

    std::string LogDir() const { return m_dir.Path() + "log" + platform::kPathSep; }
    std::string LogFile(const std::string& strName) const { return LogDir() + strName; }
    std::string ReadLog(const std::string& strName) const { return ReadWholeFile(LogFile(strName)); }

    CTempDir m_dir;
    CModuleDirOverride m_override;
    CFakeClock m_clock;
    CFakeClockScope m_clockScope;
};
