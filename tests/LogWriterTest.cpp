#include <gtest/gtest.h>

#include <deque>
#include <string>

#include "log/LogWriter.h"
#include "platform/Platform.h"
#include "support/FakeClock.h"
#include "support/TestSupport.h"

namespace {

// A clock that gives the listed times one after the other, then the last.
class CSteppingClock : public CFakeClock {
public:
    explicit CSteppingClock(std::deque<int64_t> times) : m_times(std::move(times)) {}
    int64_t Now() override {
        int64_t t = m_times.front();
        if (m_times.size() > 1) m_times.pop_front();
        return t;
    }

private:
    std::deque<int64_t> m_times;
};

class LogWriterFiles : public testing::Test {
protected:
    LogWriterFiles() : m_override(m_dir.Path()), m_clock(CFakeClock::At(2026, 3, 7, 9, 5, 2)), m_scope(m_clock) {}

    std::string LogDir() { return m_dir.Path() + "log" + platform::kPathSep; }

    CTempDir m_dir;
    CModuleDirOverride m_override;
    CFakeClock m_clock;
    CFakeClockScope m_scope;
};

TEST_F(LogWriterFiles, DirectoryCacheAndSystemLog) {
    ASSERT_EQ(platform::GetPathKind(LogDir()), -1);
    CLogWriter writer;
    EXPECT_EQ(writer.GetLogDir(), LogDir());
    EXPECT_EQ(platform::GetPathKind(LogDir()), 1);
    // The cache holds one line.
    EXPECT_EQ(writer.WriteCache(200, "first"), 1);
    EXPECT_EQ(writer.WriteCache(200, "<p>a b</p>\r\n"), 1);
    EXPECT_EQ(ReadWholeFile(LogDir() + "cache.txt"), "2026-03-07 09:05:02 200 ab");
    EXPECT_EQ(writer.WriteCache(-7, "100%s%d"), 1);
    EXPECT_EQ(ReadWholeFile(LogDir() + "cache.txt"), "2026-03-07 09:05:02 -7 100%s%d");
    // The system log grows, without a duplicate rule; a second writer finds
    // the directory there.
    const std::string strOff = "\xcf\xb5\xcd\xb3\xce\xb4\xbf\xaa\xc6\xf4\xa1\xa3";  // 系统未开启。
    EXPECT_EQ(writer.WriteSystemLog(strOff), 1);
    m_clock.Set(CFakeClock::At(2026, 3, 8, 0, 0, 1));
    CLogWriter second;
    EXPECT_EQ(second.WriteSystemLog(strOff), 1);
    EXPECT_EQ(second.WriteSystemLog("50% off"), 1);
    EXPECT_EQ(ReadWholeFile(LogDir() + "system.log"),
              "2026-03-07 09:05:02 " + strOff + "\r\n2026-03-08 00:00:01 " + strOff +
                  "\r\n2026-03-08 00:00:01 50% off\r\n");
}

TEST_F(LogWriterFiles, DailyLogDropsOnlyTheSameLineTwice) {
    CLogWriter writer;
    EXPECT_EQ(writer.WriteDailyLog(404, "(404)"), 1);
    EXPECT_EQ(writer.WriteDailyLog(404, "(404)"), 0);  // same second, same text
    EXPECT_EQ(writer.WriteDailyLog(200, "a b %d"), 1);  // written as passed
    EXPECT_EQ(writer.WriteDailyLog(404, "(404)"), 1);   // not the line just before
    m_clock.Set(m_clock.Now() + 1);
    EXPECT_EQ(writer.WriteDailyLog(404, "(404)"), 1);
    EXPECT_EQ(ReadWholeFile(LogDir() + "2026-03-07.log"),
              "2026-03-07 09:05:02 404 (404)\r\n"
              "2026-03-07 09:05:02 200 a b %d\r\n"
              "2026-03-07 09:05:02 404 (404)\r\n"
              "2026-03-07 09:05:03 404 (404)\r\n");
    CLogWriter fresh;  // each writer compares with its own last line
    EXPECT_EQ(fresh.WriteDailyLog(404, "(404)"), 1);
}

TEST_F(LogWriterFiles, LineBeforeMidnightLandsInTheNextDaysFile) {
    CLogWriter writer;
    int64_t tLate = CFakeClock::At(2026, 3, 7, 23, 59, 59);
    CSteppingClock clock({tLate, tLate, tLate + 1});
    CFakeClockScope scope(clock);
    EXPECT_EQ(writer.WriteDailyLog(200, "late"), 1);
    EXPECT_EQ(ReadWholeFile(LogDir() + "2026-03-08.log"), "2026-03-07 23:59:59 200 late\r\n");
    EXPECT_EQ(platform::GetPathKind(LogDir() + "2026-03-07.log"), -1);
}

TEST_F(LogWriterFiles, NoDirectoryNoWrites) {
    WriteWholeFile(m_dir.Path() + "log", "a plain file where the directory belongs");
    CLogWriter writer;
    EXPECT_EQ(writer.WriteCache(200, "x"), 0);
    EXPECT_EQ(writer.WriteDailyLog(200, "x"), 0);
    EXPECT_EQ(writer.WriteSystemLog("x"), 0);
    EXPECT_EQ(ReadWholeFile(m_dir.Path() + "log"), "a plain file where the directory belongs");
}

}  // namespace
