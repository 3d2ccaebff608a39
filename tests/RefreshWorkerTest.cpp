// The refresh worker's passes in simulated time: a fake clock, a fake HTTP
// exchange behind the worker's own page request, and config.ini in a
// temporary directory whose modification time the tests set.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "config/FileUtil.h"
#include "config/IniReader.h"
#include "platform/Platform.h"
#include "refresh/Judge.h"
#include "refresh/RefreshWorker.h"
#include "refresh/ServiceText.h"
#include "support/LogDirTest.h"

namespace {

namespace fs = std::filesystem;
typedef std::vector<std::string> Texts;

// Texts of the status file and the system log (code page 936).
const std::string kRunning = "\xb4\xa6\xc0\xed\xd6\xd0..";                   // 处理中..
const std::string kDone = "\xb4\xa6\xc0\xed\xcd\xea\xb1\xcf";                 // 处理完毕
const std::string kOff = "\xcf\xb5\xcd\xb3\xce\xb4\xbf\xaa\xc6\xf4\xa1\xa3";  // 系统未开启。
const std::string kBadUrl =
    "\xbc\xe0\xbf\xd8\xcd\xf8\xd6\xb7\xcc\xee\xd0\xb4\xb4\xed\xce\xf3\xa1\xa3";  // 监控网址填写错误。
const std::string kNoFile = "<no file>";
const std::string kHour = "\xca\xb1", kDay = "\xcc\xec";  // 时 天
// Where every test's simulated time starts.
const int64_t kStart = CFakeClock::At(2026, 12, 6, 9, 0, 0);

std::string Sec(int n) { return std::to_string(n) + "\xc3\xeb"; }                       // n秒
std::string MinSec(int m, int s) { return std::to_string(m) + "\xb7\xd6" + Sec(s); }  // m分s秒
// "2026-12-06 09:00:ss", a simulated time within the first minute.
std::string Stamp(int64_t t) { return "2026-12-06 09:00:" + std::to_string(100 + t - kStart).substr(1); }
// The address a request went to, without its cache-busting parameter.
std::string Requested(const platform::SHttpTarget& t) {
    return (t.bSecure ? "https://" : "http://") + t.strHost + ":" + std::to_string(t.nPort) +
           t.strObject.substr(0, t.strObject.rfind("vlmrnd=") - 1);
}

class RefreshWorkerTest : public CLogDirTest {
protected:
    RefreshWorkerTest() : CLogDirTest(kStart), m_strConfig(m_dir.File("config.ini")) {
        m_ini.SetUrl("127.0.0.1/page");
        m_env.m_fnHttpGet = [this](const platform::SHttpRequest& request, platform::IHttpBodySink& sink) {
            EXPECT_EQ(kRunning, Status());  // the status file while the request runs
            m_urls.push_back(Requested(request.target));
            m_fetchTimes.push_back(m_clock.Now());
            if (auto fnIn = std::exchange(m_fnInRequest, nullptr)) fnIn();
            // The request's abort flag, set inside it, cuts it short as the real layer does.
            const bool bStopped = request.pAbort && *request.pAbort != 0;
            if (m_nFakeStatus != 0) sink.OnBody(m_strFakeBody.data(), m_strFakeBody.size());
            return platform::SHttpResult{m_nFakeStatus, !bStopped, false,
                                         bStopped ? platform::kHttpFailStopped : m_eFakeWhy, bStopped};
        };
    }

    // The worker, built once the settings of the test are in place.
    CRefreshWorker& Worker() {
        if (!m_pWorker) {
            if (PathExists(m_strConfig, kPathIsFile)) Changed();
            m_pWorker.reset(new CRefreshWorker(m_args));
        }
        return *m_pWorker;
    }
    void NewWorker() { m_pWorker.reset(); m_urls.clear(); m_fetchTimes.clear(); }

    // Gives config.ini a modification time of its own, as a save would.
    void Changed() { SetFileTimeMs(m_strConfig, (kStart - 3600 + ++m_nChanges) * 1000); }
    std::string Status() { return PathExists(LogFile("time.txt"), kPathIsFile) ? ReadLog("time.txt") : kNoFile; }

    // The status after each of n passes.
    Texts Passes(int n) {
        Texts statuses;
        for (int i = 0; i < n; ++i) {
            EXPECT_EQ(1, Worker().Pass());
            statuses.push_back(Status());
        }
        return statuses;
    }

    size_t SystemLogCount(const std::string& strMessage) {
        std::string strLog = ReadLog("system.log");
        size_t nCount = 0;
        for (size_t i = strLog.find(strMessage); i != std::string::npos; i = strLog.find(strMessage, i + 1)) ++nCount;
        return nCount;
    }

    std::string m_strConfig;
    CIniReader m_ini;
    std::atomic<int32_t> m_bStop{0};
    const SWorkerArgs m_args{&m_ini, &m_strConfig, &m_bStop};
    int m_nChanges = 0;
    Texts m_urls;                       // the address of every request
    std::vector<int64_t> m_fetchTimes;  // and its simulated time
    std::function<void()> m_fnInRequest;  // when set, called inside the next request
    // What the fake exchange gives.
    int m_nFakeStatus = 200;
    std::string m_strFakeBody = "<html><body>ok</body></html>";
    platform::EHttpFailure m_eFakeWhy = platform::kHttpFailNone;
    std::unique_ptr<CRefreshWorker> m_pWorker;
};

TEST_F(RefreshWorkerTest, DeleteFileSilent) {
    std::string strFile = m_dir.File("a.txt");
    WriteWholeFile(strFile, "x");
    EXPECT_EQ(0, DeleteFileSilent(m_dir.File("missing.txt")));
    EXPECT_EQ(0, DeleteFileSilent(m_dir.Path()));  // a directory is not deleted
    EXPECT_EQ(1, DeleteFileSilent(strFile));
    EXPECT_FALSE(PathExists(strFile, kPathIsFile));
#ifndef _WIN32  // a path of more than 258 bytes is left alone (Windows cannot make one here)
    for (size_t n : {258u, 259u}) {
        const std::string strLong = m_dir.File(std::string(n - m_dir.Path().size(), 'p'));
        WriteWholeFile(strLong, "x");
        EXPECT_EQ(n == 258u ? 1 : 0, DeleteFileSilent(strLong)) << n;
    }
#endif
}

// "处理完毕", then n-1 秒 ... 1秒 at the ends of the passes; the pass that
// shows 0秒 runs again.
TEST_F(RefreshWorkerTest, IntervalSequence) {
    const struct { const char* szSecond2; int nInterval; } cases[] = {
        {"5", 5}, {"1", 1}, {"0", 5}, {"", 5}, {"abc", 5}, {"12abc", 12}, {"-3", 5}, {" 3", 3}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.szSecond2);
        NewWorker();
        m_ini.SetTimeSecond2(c.szSecond2);
        Texts expected;
        for (int k = 0; k <= 2 * c.nInterval; ++k)
            expected.push_back(k % c.nInterval ? Sec(c.nInterval - k % c.nInterval) : kDone);
        const int64_t t = m_clock.Now() + 1;  // the first pass runs
        EXPECT_EQ(expected, Passes(static_cast<int>(expected.size())));
        EXPECT_EQ(Texts(3, "http://127.0.0.1:80/page"), m_urls);
        EXPECT_EQ((std::vector<int64_t>{t, t + c.nInterval, t + 2 * c.nInterval}), m_fetchTimes);
    }
}

TEST_F(RefreshWorkerTest, ChangeOfTheFileTimeReloadsAndRestartsTheCountdown) {
    EXPECT_EQ((Texts{kDone, Sec(4), Sec(3)}), Passes(3));
    m_ini.SetTimeSecond2("2");
    m_ini.SetUrl("https://example.test/");
    m_ini.SetLog("01");  // not exactly 1: the daily log keeps the first run only
    Changed();
    EXPECT_EQ((Texts{kDone, Sec(1), kDone}), Passes(3));
    EXPECT_EQ("https://example.test:443/", m_urls.at(1));
    EXPECT_EQ(Stamp(m_fetchTimes[0]) + " 200 ok\r\n", ReadLog("2026-12-06.log"));
}

// Every write is seen at the next pass, also several within one second: a
// deploy script's two writes of the same size, an editor that empties the
// file and writes it 0.6 s later, a write of another size, the same bytes
// saved again, a file renamed over it at the same time. The same bytes, time
// and file: nothing to reload.
TEST_F(RefreshWorkerTest, EveryWriteIsSeenAlsoWithinOneSecond) {
    EXPECT_EQ((Texts{kDone}), Passes(1));
    const std::string strText = ReadWholeFile(m_strConfig);
    const size_t nAt = strText.find("/page");
    const struct { const char* szPage; int nMs; bool bRename; std::string strStatus; } steps[] = {
        {"/pag1", 200, false, kDone}, {"/pag2", 500, false, kDone}, {"", 1100, false, kNoFile},
        {"/pag3", 1700, false, kDone}, {"/p4", 1700, false, kDone}, {"/p4", 1900, false, kDone},
#ifndef _WIN32  // the inode
        {"/p4", 1900, true, kDone},
#endif
        {"/p4", 1900, false, Sec(4)},
    };
    for (const auto& s : steps) {
        SCOPED_TRACE(&s - steps);
        const std::string strFile = s.bRename ? m_dir.File("config.new") : m_strConfig;
        WriteWholeFile(strFile, *s.szPage ? strText.substr(0, nAt) + s.szPage + strText.substr(nAt + 5) : "");
        SetFileTimeMs(strFile, kStart * 1000 + s.nMs);
        if (s.bRename) fs::rename(strFile, m_strConfig);
        EXPECT_EQ(Texts{s.strStatus}, Passes(1));
        if (s.strStatus == kDone) { EXPECT_EQ(std::string("http://127.0.0.1:80") + s.szPage, m_urls.back()); }
    }
    EXPECT_EQ(1u, SystemLogCount(kOff));
}

// Switched off by SoftOn other than exactly "1" or by config.ini missing (from
// the start or later): no status file, 系统未开启。 logged once; switched on
// again (or the file restored), requested in that very pass.
TEST_F(RefreshWorkerTest, SwitchedOffUntilSoftOnIsExactlyOneAndTheFileIsThere) {
    const std::string strSaved = ReadWholeFile(m_strConfig);
    for (const char* szOff : {"(missing from the start)", "0", "", "01", " 1", "true", "(removed)"}) {
        SCOPED_TRACE(szOff);
        const bool bRemove = szOff[0] == '(';
        const size_t nLogged = SystemLogCount(kOff), nFetched = m_urls.size();
        if (bRemove) {
            ASSERT_TRUE(platform::DeleteFileSilently(m_strConfig));
        } else {
            // Quoted, so that the blank of " 1" survives the INI reader.
            m_ini.SetSoftOn(std::string("\"") + szOff + "\"");
            ASSERT_EQ(szOff, m_ini.GetSoftOn());
            Changed();
        }
        EXPECT_EQ((Texts{kNoFile, kNoFile, kNoFile}), Passes(3));
        EXPECT_EQ(nLogged + 1, SystemLogCount(kOff));
        if (bRemove) WriteWholeFile(m_strConfig, strSaved);
        else m_ini.SetSoftOn("1");
        Changed();
        EXPECT_EQ((Texts{kDone}), Passes(1));
        EXPECT_EQ(nFetched + 1, m_urls.size());
    }
}

// What is requested for an address; empty when the vendor domain refuses it,
// "-" when nothing can be sent ("http://" has no host).
TEST_F(RefreshWorkerTest, AddressPrefixAndVendorDomain) {
    const struct { std::string strUrl, strRequested; } cases[] = {
        {"host/page", "http://host:80/page"}, {"HTTPS://host", "https://host:443/"}, {"http://host", "http://host:80/"},
        {"ftp://host", "http://ftp:80//host"}, {"", "-"}, {"httpx://h", "http://httpx:80//h"},
        {"velmora.com", ""}, {"http://WWW.VELMORA.COM/x", ""}, {"HTTPS://a.VeLmOrA.cOm", ""},
        // 中 before the domain; a 'V' that is the second byte of a character.
        {"h/?to=velmora.community", ""}, {"\xd6\xd0VELMORA.com", ""},
        {"\x81VELMORA.COM", "http://\x81VELMORA.COM:80/"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.strUrl);
        const bool bRefused = c.strRequested.empty();
        m_urls.clear();
        size_t nLogged = SystemLogCount(kBadUrl);
        m_ini.SetUrl(c.strUrl);
        Changed();
        EXPECT_EQ(bRefused ? kNoFile : Sec(4), Passes(2).back());
        EXPECT_EQ(nLogged + (bRefused ? 1 : 0), SystemLogCount(kBadUrl));
        EXPECT_EQ(bRefused || c.strRequested == "-" ? Texts{} : Texts{c.strRequested}, m_urls);
    }
}

// A stop never makes a record. During the pass sleep, it ends the pass with
// nothing done; a request it cut short (with a status or not) leaves the
// cache file and the daily log as they were, notes it in the system log and
// has no tail; in the hourly tail it ends the tail. Then the loop ends.
TEST_F(RefreshWorkerTest, AStopAtAnyMomentRecordsNothingFalse) {
    const std::string kCutNote = "\xb7\xfe\xce\xf1\xcd\xa3\xd6\xb9\xa3\xac";  // 服务停止，
    // nStopAt: the stop comes as that sleep of the pass begins; nCut: the
    // request reports the stop with this status (-1: it does not). Then the
    // status file after the pass ("=": as before) and the pass's sleeps.
    const struct { bool bHourly; int nStopAt, nCut; bool bRecorded; std::string strStatus; int nSleeps; } cases[] = {
        {false, 1, -1, false, "=", 1}, {false, 9, 200, false, kRunning, 1}, {false, 9, 0, false, kRunning, 1},
        {true, 9, 200, false, kRunning, 1}, {true, 2, -1, true, "", 2},
    };
    int nSleeps = 0, nStopAtSleep = 0;
    m_clock.m_fnOnSleep = [&](uint32_t) { if (++nSleeps == nStopAtSleep) m_bStop = 1; };
    m_ini.SetTimeMinute("30");
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.nStopAt) + " " + std::to_string(c.nCut));
        NewWorker();
        m_bStop = 0;
        m_clock.Set(CFakeClock::At(2026, 12, 6, 9, 29, 58));  // either timetable runs in the first pass
        m_ini.SetTimeStartFrom(c.bHourly ? "1" : "0");
        const std::string strStatus = Status(), strRecords = ReadLog("cache.txt") + ReadLog("2026-12-06.log");
        const size_t nNotes = SystemLogCount(kCutNote);
        m_nFakeStatus = c.nCut < 0 ? 200 : c.nCut;
        m_fnInRequest = [this, &c] { m_bStop = c.nCut >= 0; };  // the stop that cut the request
        nSleeps = 0, nStopAtSleep = c.nStopAt;
        EXPECT_EQ(1, Worker().Pass());
        EXPECT_EQ(0, Worker().Pass());
        EXPECT_EQ(c.strStatus == "=" ? strStatus : c.strStatus, Status());
        EXPECT_EQ(c.nSleeps, nSleeps);
        EXPECT_EQ(c.bRecorded, ReadLog("cache.txt") + ReadLog("2026-12-06.log") != strRecords);
        EXPECT_EQ(nNotes + (c.nCut >= 0 ? 1 : 0), SystemLogCount(kCutNote));
        EXPECT_EQ(c.nCut >= 0 || c.bRecorded ? 1u : 0u, m_urls.size());
    }
}

// Hourly mode: the status of the pass that lands on 09:00:00, and the clock
// time of every run over several simulated hours.
TEST_F(RefreshWorkerTest, HourlyTargets) {
    // Minute, second, the second within the hour of the runs (-1: never), and
    // the status after the pass that lands on 09:00:00.
    const struct { const char *szMinute, *szSecond; int nRunSecond; std::string strFirstPass; } cases[] = {
        {"30", "0", 1799, MinSec(30, 0)}, {"59", "59", 3598, MinSec(59, 59)},
        {"0", "0", 0, MinSec(59, 55)},  // the end of the run's tail
        // 60:00 is not wrapped to 00:00.
        {"60", "0", 3599, "1" + kHour + MinSec(0, 0)}, {"abc", "9999", -1, "2" + kHour + MinSec(46, 39)},
        {"0", "-1", 0, MinSec(59, 55)}, {"60", "2", -1, "1" + kHour + MinSec(0, 2)}, {"0", "-2", -1, MinSec(59, 58)},
        {"4294967296", "0", -1, "24855" + kDay + "3" + kHour + MinSec(14, 7)},  // 2^32 minutes: the most, not 0
    };
    m_ini.SetTimeStartFrom("1");
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.szMinute) + ":" + c.szSecond);
        NewWorker();
        m_clock.Set(CFakeClock::At(2026, 12, 6, 8, 59, 59));
        m_ini.SetTimeMinute(c.szMinute);
        m_ini.SetTimeSecond(c.szSecond);
        EXPECT_EQ(c.strFirstPass, Passes(1).back());
        // Then half a minute of passes after each hh:29:45 and hh:59:45 from
        // 08:59:45 to 11:59:45, the clock moved on between these spans: a run
        // at every second of them that is due, and at no other.
        NewWorker();
        std::vector<int64_t> expected;
        for (int64_t t = CFakeClock::At(2026, 12, 6, 8, 59, 45); t < CFakeClock::At(2026, 12, 6, 12, 0, 0); t += 1800) {
            m_clock.Set(t);
            while (m_clock.Now() < t + 30) ASSERT_EQ(1, Worker().Pass());
            for (int64_t tDue = t + 1; tDue <= t + 30; ++tDue)
                if (tDue % 3600 == c.nRunSecond) expected.push_back(tDue);
        }
        EXPECT_EQ(expected, m_fetchTimes);
    }
}

TEST_F(RefreshWorkerTest, HourlyTailAndOneRunPerClockHour) {
    const int64_t tStart = CFakeClock::At(2026, 12, 6, 9, 29, 58);
    m_clock.Set(tStart);
    std::vector<std::pair<uint32_t, std::string>> sleeps;  // every sleep and the status at that moment
    m_clock.m_fnOnSleep = [&](uint32_t nMs) { sleeps.push_back({nMs, Status()}); };
    m_ini.SetTimeStartFrom("1");
    m_ini.SetTimeMinute("30");
    // 09:29:59 runs; the next pass lands on 09:30:03.3 (diff -3).
    EXPECT_EQ((Texts{MinSec(59, 55), MinSec(59, 57)}), Passes(2));
    EXPECT_EQ(std::vector<int64_t>{tStart + 1}, m_fetchTimes);
    EXPECT_EQ((std::vector<std::pair<uint32_t, std::string>>{
                  {1000, kNoFile}, {1100, ""}, {1100, MinSec(59, 57)}, {1100, MinSec(59, 56)}, {1000, MinSec(59, 55)}}),
              sleeps);
    EXPECT_EQ(tStart * 1000 + 5300, m_clock.NowMs());

    // The clock is put back into the window: this hour has had its run.
    m_clock.Set(tStart);
    Passes(2);
    EXPECT_EQ(1u, m_fetchTimes.size());
    // A reload forgets the hour of the last run: 09:30:01 runs.
    Changed();
    Passes(1);
    EXPECT_EQ(2u, m_fetchTimes.size());
}

// A pass in which something throws is ended there: one line in the system
// log, and the next passes go on requesting and recording.
TEST_F(RefreshWorkerTest, APassThatThrowsIsNotedAndTheWorkerGoesOn) {
    const std::string kFailed = "\xcb\xa2\xd0\xc2\xb3\xf6\xb4\xed\xa3\xba";  // 刷新出错：
    const struct { std::function<void()> fnThrow; std::string strNote; } cases[] = {
        {[] { throw std::bad_alloc(); }, kFailed + std::bad_alloc().what()},
        {[] { throw std::runtime_error("two\r\nlines"); }, kFailed + "two  lines"},
        {[] { throw 7; }, kFailed + "\xce\xb4\xd6\xaa\xd2\xec\xb3\xa3"},  // 未知异常
    };
    m_ini.SetTimeSecond2("1");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.strNote);
        m_fnInRequest = c.fnThrow;
        Passes(1);
        EXPECT_EQ(1u, SystemLogCount(Stamp(m_fetchTimes.back()) + " " + c.strNote));
        Passes(1);
        EXPECT_EQ(Stamp(m_fetchTimes.back()) + " 200 ok", ReadLog("cache.txt"));
    }
    EXPECT_EQ(6u, m_fetchTimes.size());  // every pass requested
}

// Durations of the status file ("已过：" before a negative count; minutes,
// hours and the largest count are the hourly table's statuses), and the line
// for the service manager: what the worker waits for, then the last run with
// at most 80 characters of its result text and, without a status, why there
// was none. (The worker's own lines: RefreshWorkerNotifyTest.)
TEST(RefreshWorkerTextTest, DurationsAndServiceLines) {
    const std::string kPast = "\xd2\xd1\xb9\xfd\xa3\xba", strZhong = "\xd6\xd0";  // 已过： and 中 (one character)
    const std::string strWhen = "2026-12-06 09:30:00";
    const std::string strRun = "Last run " + strWhen + ": ";
    const std::string strNone = strRun + "0 " + kMarkerNoServer + " - ";
    auto Result = [&strWhen](int nStatus, const std::string& strText,
                             platform::EHttpFailure eWhy = platform::kHttpFailNone) {
        return ComposeResultText(strWhen, nStatus, strText, eWhy);
    };
    const struct { std::string strText, strExpected; } cases[] = {
        {FormatDuration(0), Sec(0)}, {FormatDuration(86400), "1" + kDay + "0" + kHour + MinSec(0, 0)},
        {FormatDuration(-5), kPast + Sec(5)},
        {FormatDuration(INT32_MIN), kPast + "24855" + kDay + "3" + kHour + MinSec(14, 8)},
        {ComposeWaitText(kWaitRefusedAddress, 0, 0), "Switched off: the Url in config.ini is refused"},
        {ComposeWaitText(kWaitInterval, 299, 300), "Next run in 299 s (every 300 s)"},
        {ComposeWaitText(kWaitHourly, 0, 0), "Hourly at 00:00 (minute:second)"},
        {ComposeWaitText(kWaitHourly, 3599, 0), "Hourly at 59:59 (minute:second)"},
        {ComposeWaitText(kWaitHourly, 3602, 0), "Hourly at second 3602 of the hour"},
        {ComposeWaitText(kWaitHourly, -2, 0), "Hourly at second -2 of the hour"},
        // At most 80 characters, a double-byte character counting once and
        // never cut in two.
        {Result(200, "a" + Repeat(strZhong, 100)), strRun + "200 a" + Repeat(strZhong, 79)},
        {Result(200, Repeat("a", 79) + strZhong + "b"), strRun + "200 " + Repeat("a", 79) + strZhong},
        {Result(200, Repeat("a", 80) + strZhong), strRun + "200 " + Repeat("a", 80)},
    };
    for (const auto& c : cases) EXPECT_EQ(c.strExpected, c.strText);
    // Without a status, why, in a few words.
    const std::pair<platform::EHttpFailure, const char*> reasons[] = {
        {platform::kHttpFailNameNotResolved, "name not resolved"}, {platform::kHttpFailTimedOut, "timed out"},
        {platform::kHttpFailCertificate, "certificate not trusted"}, {platform::kHttpFailStopped, "stopped"},
        {platform::kHttpFailTooManyRedirects, "too many redirects"}, {platform::kHttpFailOther, "other failure"},
        {platform::kHttpFailBadAddress, "address not usable"}, {platform::kHttpFailNone, "other failure"},
    };
    for (const auto& r : reasons) EXPECT_EQ(strNone + r.second, Result(0, kMarkerNoServer, r.first)) << r.second;
}

#ifndef _WIN32
// "(无法连接到服务器)" in UTF-8.
const std::string kNoServerUtf8 =
    "\x28\xe6\x97\xa0\xe6\xb3\x95\xe8\xbf\x9e\xe6\x8e\xa5\xe5\x88\xb0\xe6\x9c\x8d\xe5\x8a\xa1\xe5\x99\xa8\x29";

// The lines the running service sends to systemd (STATUS=, in UTF-8): a
// waiting text only when what the worker waits for changes, a result line
// after every run.
class RefreshWorkerNotifyTest : public RefreshWorkerTest {
protected:
    RefreshWorkerNotifyTest() : m_notify(m_dir.File("notify")) {
        setenv("NOTIFY_SOCKET", m_dir.File("notify").c_str(), 1);
    }
    ~RefreshWorkerNotifyTest() override { unsetenv("NOTIFY_SOCKET"); }

    CDatagramSink m_notify;
};

TEST_F(RefreshWorkerNotifyTest, WaitingTextOnChangesResultAfterEachRun) {
    m_ini.SetTimeStartFrom("1");
    m_ini.SetTimeMinute("30");
    Passes(5);
    EXPECT_EQ((Texts{"STATUS=Hourly at 30:00 (minute:second)"}), m_notify.Take(20));
    Changed();  // the same settings saved again: nothing new to say
    Passes(2);
    EXPECT_EQ(Texts{}, m_notify.Take(20));
    m_ini.SetTimeMinute("45");
    Changed();
    Passes(1);
    EXPECT_EQ((Texts{"STATUS=Hourly at 45:00 (minute:second)"}), m_notify.Take(20));

    // Every 3 s; the result text is code page 936, sent in UTF-8 and cut at
    // 80 characters.
    m_ini.SetTimeStartFrom("0");
    m_ini.SetTimeSecond2("3");
    m_strFakeBody = Repeat("\xd6\xd0", 100);  // 中
    Changed();
    Passes(1);
    const std::string strLastRun = "STATUS=Last run 2026-12-06 09:00:";
    EXPECT_EQ((Texts{"STATUS=Next run in 0 s (every 3 s)", strLastRun + "09: 200 " + Repeat("\xe4\xb8\xad", 80)}),
              m_notify.Take(20));

    // No status: the reason the request gave.
    m_nFakeStatus = 0;
    m_eFakeWhy = platform::kHttpFailRefused;
    Passes(3);
    EXPECT_EQ((Texts{strLastRun + "12: 0 " + kNoServerUtf8 + " - connection refused"}), m_notify.Take(20));

    m_ini.SetSoftOn("0");
    Changed();
    Passes(3);
    EXPECT_EQ((Texts{"STATUS=Switched off (SoftOn in config.ini is not 1)"}), m_notify.Take(20));
}

#endif

}  // namespace
