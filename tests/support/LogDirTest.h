// A test whose executable's directory is a fresh temporary one, on a fake
// clock: the log files of the test land under LogDir().
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "platform/Platform.h"
#include "support/FakeClock.h"
#include "support/TestSupport.h"

class CLogDirTest : public testing::Test {
protected:
    explicit CLogDirTest(int64_t tStart = CFakeClock::At(2026, 3, 7, 9, 5, 2))
        : m_override(m_dir.Path()), m_clock(tStart), m_clockScope(m_clock) {}

    std::string LogDir() const { return m_dir.Path() + "log" + platform::kPathSep; }
    std::string LogFile(const std::string& strName) const { return LogDir() + strName; }
    std::string ReadLog(const std::string& strName) const { return ReadWholeFile(LogFile(strName)); }

    CTempDir m_dir;
    CModuleDirOverride m_override;
    CFakeClock m_clock;
    CFakeClockScope m_clockScope;
};
