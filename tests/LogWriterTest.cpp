// The log files under log/ (cache, daily log, system log, status file) and
// the date-time texts of their lines, on a fake clock.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <filesystem>
#include <functional>
#include <iterator>
#include <string>

#include "config/DateTime.h"
#include "log/LogWriter.h"
#include "support/LogDirTest.h"

namespace {

// "写入失败：", the note of a file that could not be written.
const std::string kWriteFailed = "\xd0\xb4\xc8\xeb\xca\xa7\xb0\xdc\xa3\xba";

// The date and time texts of every log line: leading zeros for 0 to 9 only
// (those with one: the lines of the tests below), the year as it is; a time
// the clock cannot convert gives the epoch.
TEST(DateTime, LeadingZerosBoundariesAndFailedConversion) {
    const struct { int64_t tTime; bool bConversionFails; const char* szDateTime; } cases[] = {
        {CFakeClock::At(2026, 10, 10, 23, 59, 59), false, "2026-10-10 23:59:59"},
        {CFakeClock::At(999, 12, 31, 1, 2, 3), false, "999-12-31 01:02:03"},
        {CFakeClock::At(2026, 3, 7, 9, 5, 2), true, "1970-01-01 00:00:00"},
    };
    for (const auto& c : cases) {
        CFakeClock clock(c.tTime);
        clock.SetConversionFails(c.bConversionFails);
        CFakeClockScope scope(clock);
        EXPECT_EQ(GetDateTimeText(), c.szDateTime);  // the date text, a blank, the time text
    }
}

using LogWriterFiles = CLogDirTest;

TEST_F(LogWriterFiles, DirectoryCacheAndSystemLog) {
    CLogWriter writer;  // in a fresh directory: makes log/
    EXPECT_EQ(platform::GetPathKind(LogDir()), 1);
    // The cache holds the text as given (each write replacing the last: the
    // judge tests); a percent sign is just a byte.
    EXPECT_EQ(writer.WriteCache(-7, "100% s%d"), 1);
    EXPECT_EQ(ReadLog("cache.txt"), "2026-03-07 09:05:02 -7 100% s%d");
    // The system log grows, without a rule against the same line twice.
    EXPECT_EQ(writer.WriteSystemLog("50% off"), 1);
    EXPECT_EQ(writer.WriteSystemLog("50% off"), 1);
    EXPECT_EQ(ReadLog("system.log"), "2026-03-07 09:05:02 50% off\r\n2026-03-07 09:05:02 50% off\r\n");
}

// A clock that reads one second later from its third reading on.
class CSteppingClock : public CFakeClock {
public:
    using CFakeClock::CFakeClock;
    int64_t Now() override { return CFakeClock::Now() + (++m_nReadings > 2 ? 1 : 0); }
    int m_nReadings = 0;
};

TEST_F(LogWriterFiles, DailyLogSkipsARepeatedLineAndReadsTheFileDateAnew) {
    CLogWriter writer;
    EXPECT_EQ(writer.WriteDailyLog(404, "(404)"), 1);
    EXPECT_EQ(writer.WriteDailyLog(404, "(404)"), 0);  // same second, same text
    EXPECT_EQ(writer.WriteDailyLog(200, "a b %d"), 1);  // written as passed
    EXPECT_EQ(writer.WriteDailyLog(404, "(404)"), 1);   // not the line just before
    m_clock.Set(m_clock.Now() + 1);
    EXPECT_EQ(writer.WriteDailyLog(404, "(404)"), 1);
    EXPECT_EQ(ReadLog("2026-03-07.log"),
              "2026-03-07 09:05:02 404 (404)\r\n"
              "2026-03-07 09:05:02 200 a b %d\r\n"
              "2026-03-07 09:05:02 404 (404)\r\n"
              "2026-03-07 09:05:03 404 (404)\r\n");
    CLogWriter fresh;  // each writer compares with its own last line
    EXPECT_EQ(fresh.WriteDailyLog(404, "(404)"), 1);

    // Texts are compared by length and hash: a long text repeated is
    // skipped, one byte more or another last byte is not.
    std::string strLong((4u << 20) + 9, 'x');
    EXPECT_EQ(fresh.WriteDailyLog(200, strLong), 1);
    EXPECT_EQ(fresh.WriteDailyLog(200, strLong), 0);
    strLong.back() = 'y';
    EXPECT_EQ(fresh.WriteDailyLog(200, strLong), 1);
    EXPECT_EQ(fresh.WriteDailyLog(200, strLong + "y"), 1);
    EXPECT_EQ(fresh.WriteDailyLog(200, "x"), 1);
    const std::string strLog = ReadLog("2026-03-07.log");
    EXPECT_EQ(std::count(strLog.begin(), strLog.end(), '\n'), 5 + 4);

    // A line made just before midnight lands in the next day's file.
    CSteppingClock clock(CFakeClock::At(2026, 3, 7, 23, 59, 59));
    CFakeClockScope scope(clock);
    EXPECT_EQ(writer.WriteDailyLog(200, "late"), 1);
    EXPECT_EQ(ReadLog("2026-03-08.log"), "2026-03-07 23:59:59 200 late\r\n");
    EXPECT_EQ(ReadLog("2026-03-07.log").find("late"), std::string::npos);
}

// log/ removed while the writer lives: every kind of write makes it again
// and lands; with a plain file in its place none does, and the file stays.
TEST_F(LogWriterFiles, RemovedDirectoryIsMadeAgainUnlessAFileTookItsPlace) {
    CLogWriter writer;
    const struct { std::string strFile, strContent; std::function<int()> fnWrite; } cases[] = {
        {"cache.txt", "2026-03-07 09:05:02 200 a", [&] { return writer.WriteCache(200, "a"); }},
        {"2026-03-07.log", "2026-03-07 09:05:02 200 b\r\n", [&] { return writer.WriteDailyLog(200, "b"); }},
        {"system.log", "2026-03-07 09:05:02 c\r\n", [&] { return writer.WriteSystemLog("c"); }},
        {"time.txt", "1\xc3\xeb", [&] { return writer.WriteStatusFile(LogDir() + "time.txt", "1\xc3\xeb"); }},  // 1秒
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.strFile);
        std::filesystem::remove_all(LogDir());
        EXPECT_EQ(c.fnWrite(), 1);
        EXPECT_EQ(ReadLog(c.strFile), c.strContent);
    }
    std::filesystem::remove_all(LogDir());
    WriteWholeFile(m_dir.Path() + "log", "a plain file where the directory belongs");
    for (const auto& c : cases) EXPECT_EQ(c.fnWrite(), 0) << c.strFile;
    CLogWriter second;  // finds the file where it would make log/
    EXPECT_EQ(ReadWholeFile(m_dir.Path() + "log"), "a plain file where the directory belongs");
}

// A file that cannot be written (here: a directory in its place) is noted in
// system.log once, stamped with the time of the loss, until a write of it
// succeeds again; a note that cannot be written waits for the next write.
// A note that system.log cannot take, and a failure of system.log itself, go
// once per run of failures to the platform's log (Linux: syslog, checked
// here; Windows: the event log, checked by service.wine).
TEST_F(LogWriterFiles, FailedWritesAreNotedOncePerRunOfFailures) {
#ifndef _WIN32
    ASSERT_TRUE(platform::CreateDir(m_dir.File("dev")));
    CDatagramSink syslog(m_dir.File("dev/log"));
    // The events that arrived: their priority (daemon, error) and what
    // follows "]: ", one a line.
    auto events = [&syslog] {
        std::string strAll;
        for (const std::string& s : syslog.Take()) strAll += s.substr(0, 4) + s.substr(s.find("]: ") + 2) + "\n";
        return strAll;
    };
    // The event of a note at 09:05:0<second> about a file, in UTF-8.
    auto event = [](const char* szSecond, const std::string& strName) {
        return "<27> event 109: The log files cannot be written: 2026-03-07 09:05:0" + std::string(szSecond) +
               " \xe5\x86\x99\xe5\x85\xa5\xe5\xa4\xb1\xe8\xb4\xa5\xef\xbc\x9a" + strName + "\n";  // 写入失败：
    };
#else
    auto events = [] { return std::string(); };
    auto event = [](const char*, const std::string&) { return std::string(); };
#endif
    CLogWriter writer;
    const std::string strStatus = LogDir() + "time.txt", strSystem = LogDir() + "system.log";
    ASSERT_TRUE(platform::CreateDir(strStatus));
    EXPECT_EQ(writer.WriteStatusFile(strStatus, "x"), 0);
    m_clock.Set(m_clock.Now() + 1);
    EXPECT_EQ(writer.WriteStatusFile(strStatus, "x"), 0);
    EXPECT_EQ(ReadWholeFile(strSystem), "2026-03-07 09:05:02 " + kWriteFailed + "time.txt\r\n");
    ASSERT_TRUE(std::filesystem::remove(strStatus));
    EXPECT_EQ(writer.WriteStatusFile(strStatus, "y"), 1);
    EXPECT_EQ(events(), "");  // system.log took the note

    // Both the cache file and system.log fail: the cache's note goes to the
    // platform's log at once and is owed to system.log, before its next line.
    std::filesystem::remove(strSystem);
    ASSERT_TRUE(platform::CreateDir(strSystem));
    ASSERT_TRUE(platform::CreateDir(LogDir() + "cache.txt"));
    for (int n = 0; n < 2; ++n) {
        EXPECT_EQ(writer.WriteCache(200, "z"), 0);
        EXPECT_EQ(writer.WriteSystemLog("lost"), 0);
    }
    EXPECT_EQ(events(), event("3", "cache.txt") + event("3", "system.log"));
    ASSERT_TRUE(std::filesystem::remove(strSystem));
    m_clock.Set(m_clock.Now() + 1);
    EXPECT_EQ(writer.WriteCache(200, "z"), 0);  // still failing: no second note
    EXPECT_EQ(writer.WriteSystemLog("back"), 1);
    const std::string strBack = "2026-03-07 09:05:03 " + kWriteFailed + "cache.txt\r\n2026-03-07 09:05:04 back\r\n";
    EXPECT_EQ(ReadWholeFile(strSystem), strBack);
    // Failing again after a success: a note of its own, and while system.log
    // fails again an event of its own.
    ASSERT_TRUE(std::filesystem::remove(strStatus));
    ASSERT_TRUE(platform::CreateDir(strStatus));
    EXPECT_EQ(writer.WriteStatusFile(strStatus, "x"), 0);
    EXPECT_EQ(ReadWholeFile(strSystem), strBack + "2026-03-07 09:05:04 " + kWriteFailed + "time.txt\r\n");
    ASSERT_TRUE(std::filesystem::remove(LogDir() + "cache.txt"));
    EXPECT_EQ(writer.WriteCache(200, "z"), 1);
    ASSERT_TRUE(std::filesystem::remove(strSystem) && platform::CreateDir(strSystem));
    ASSERT_TRUE(std::filesystem::remove(LogDir() + "cache.txt") && platform::CreateDir(LogDir() + "cache.txt"));
    EXPECT_EQ(writer.WriteCache(200, "z"), 0);
    EXPECT_EQ(events(), event("4", "cache.txt"));
}

#ifndef _WIN32
// A full disk, made by a file size limit in a child process (SIGXFSZ
// ignored, so writes beyond it fail with EFBIG): the daily log holds whole
// lines only, the cache file keeps its last whole line (no file left beside
// it), and once there is room the next record starts on a line of its own.
TEST_F(LogWriterFiles, RecordsCutShortByAFullDiskAreTakenBackWhole) {
    const rlim_t nLimit = 1000;
    // Lines of 47 bytes: the limit falls inside the 22nd.
    auto record = [](int n) { return "record " + std::to_string(10 + n) + std::string(12, '.'); };
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        signal(SIGXFSZ, SIG_IGN);
        const struct rlimit lim = {nLimit, nLimit};
        if (setrlimit(RLIMIT_FSIZE, &lim) != 0) _exit(100);
        CLogWriter writer;
        writer.WriteCache(200, "before");
        int nWritten = 0;
        for (int n = 0; n < 40; ++n) nWritten += writer.WriteDailyLog(200, record(n));
        writer.WriteCache(200, std::string(2 * nLimit, 'c'));
        _exit(nWritten);
    }
    const int nWritten = WaitChild(pid, 30000);
    ASSERT_EQ(nWritten, 21) << "100: setrlimit failed; -1: the child did not end";

    std::string strExpected;
    for (int n = 0; n < nWritten; ++n) strExpected += "2026-03-07 09:05:02 200 " + record(n) + "\r\n";
    EXPECT_EQ(ReadLog("2026-03-07.log"), strExpected);
    EXPECT_EQ(ReadLog("cache.txt"), "2026-03-07 09:05:02 200 before");
    // Nothing beside the three files (each of them read here).
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(LogDir()), std::filesystem::directory_iterator()), 3);
    EXPECT_EQ(ReadLog("system.log"), "2026-03-07 09:05:02 " + kWriteFailed + "2026-03-07.log\r\n"
                                  "2026-03-07 09:05:02 " + kWriteFailed + "cache.txt\r\n");

    CLogWriter writer;  // room again
    EXPECT_EQ(writer.WriteDailyLog(200, "after"), 1);
    EXPECT_EQ(ReadLog("2026-03-07.log"), strExpected + "2026-03-07 09:05:02 200 after\r\n");
}
#endif

}  // namespace
