// The service counter and the control handler in process, on Linux where the
// registry is the store file and events go to /dev/log under the system root;
// what -i asks of the service manager beyond the registration, and the
// language of the event lines.
#ifndef _WIN32

#include <sys/stat.h>

#include <climits>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/posix/PosixInternal.h"
#include "service/MyService.h"
#include "service/Thread.h"
#include "support/FakeClock.h"
#include "support/TestSupport.h"

namespace {

const std::string kParameters = "[SYSTEM\\CurrentControlSet\\Services\\VlmRefresh\\Parameters]\n";

// A system root in a temporary directory with the store's directory and a
// bound syslog socket; the environment points the seam at it.
class CSystemRoot : public CTestEnv {
public:
    CSystemRoot() : m_strRoot(m_dir.Path().substr(0, m_dir.Path().size() - 1)) {
        for (const char* szSub : {"/var", "/var/lib", "/var/lib/VlmRefresh", "/dev"})
            mkdir((m_strRoot + szSub).c_str(), 0755);
        m_strSystemRoot = m_strRoot;
        m_pLog.reset(new CDatagramSink(m_strRoot + "/dev/log"));
    }
    std::string Store() const { return m_strRoot + "/var/lib/VlmRefresh/registry.conf"; }

    // The ids of the events sent since the last call ("event 106"), without
    // the syslog prefix and the sentence.
    std::vector<std::string> TakeEvents() {
        std::vector<std::string> events = m_pLog->Take();
        for (std::string& s : events) s = s.substr(s.find("]: ") + 3, 9);  // "event 1xx"
        return events;
    }

private:
    CTempDir m_dir;
    std::string m_strRoot;
    std::unique_ptr<CDatagramSink> m_pLog;
};

// The counter's start and step from the store; a value that is no number
// keeps the default. (Leading zeros, overflow, quoted text and the like: the
// store text tests.)
TEST(ServiceCounter, StartAndIncAsAnAdministratorWritesThem) {
    // The store (empty: no store at all), and the start and step read from it.
    const struct { std::string strStore; int32_t nStart, nStep; } cases[] = {
        {"", 0, 1},
        {"[system\\currentcontrolset\\services\\vlmrefresh\\PARAMETERS]\nstart=0x10\nINC=-3\n", 16, -3},
        {kParameters + "Start = 0x1G\nInc = +007\n", 0, 7},
        {kParameters + "Start = - 5\nInc = 0x-5\n", 0, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.strStore);
        CSystemRoot root;
        if (!c.strStore.empty()) WriteWholeFile(root.Store(), c.strStore);
        CMyService service;
        EXPECT_EQ(1, service.InitService());
        // Start, step, and the counter starting at Start.
        EXPECT_EQ((std::vector<int32_t>{c.nStart, c.nStep, c.nStart}),
                  (std::vector<int32_t>{service.m_nCounterStart, service.m_nCounterStep, service.m_nCounter.load()}));
    }
}

// The loop ends when its nSteps-th sleep ends (nStop 0), or by a stop that
// came as m_bRunning was set to 1 (1) or as that sleep began (2): the part of
// a second slept then counts for nothing.
TEST(ServiceCounter, RunLoopStepsOncePerSleepAndWraps) {
    const struct { int32_t nStart, nStep, nSteps, nExpected, nStop; } cases[] = {
        {10, 5, 3, 25, 0}, {INT32_MAX, 1, 1, INT32_MIN, 0}, {INT32_MIN, -1, 2, INT32_MAX - 1, 0}, {10, 5, 3, 10, 1},
        {10, 5, 3, 20, 2},
    };
    for (const auto& c : cases) {
        g_bStopRequested = c.nStop == 1;
        CMyService service;
        service.m_nCounterStep = c.nStep;
        service.m_nCounter = c.nStart;
        service.m_bRunning = 1;
        CFakeClock clock;
        clock.m_fnOnSleep = [&service, &c, nLeft = c.nSteps](uint32_t) mutable {
            if (--nLeft > 0) return;
            if (c.nStop == 2) g_bStopRequested = 1;
            else service.m_bRunning = 0;
        };
        CFakeClockScope scope(clock);
        service.RunLoop();
        EXPECT_EQ(c.nExpected, service.m_nCounter.load()) << c.nStart << "+" << c.nStep;
    }
    g_bStopRequested = 0;
}

// Codes without a handler are reported (event 106), except the one that
// saves the counter: it alone writes the store, keeping the administrator's
// lines. The stop ends the loop and sets the stop flag at once (a stop that
// comes while the service starts is otherwise lost).
TEST(ServiceCounter, ControlHandlerEventsTheSavedCounterAndTheStop) {
    CSystemRoot root;
    const std::string strAdmin = "# mine\n" + kParameters + "Start = 10 ; ten\nInc = 5\n";
    WriteWholeFile(root.Store(), strAdmin);
    CMyService service;
    service.m_nCounter = -7;
    const struct { uint32_t nCode; std::vector<std::string> events; } cases[] = {
        {0, {"event 106"}}, {6, {"event 106"}}, {127, {"event 106"}}, {129, {"event 106"}}, {300, {"event 106"}},
        {2, {}}, {3, {}}, {4, {}}, {5, {}}, {128, {}},  // 128 last: it changes the store
    };
    const std::string strSaved =
        strAdmin + "\n[SYSTEM\\CurrentControlSet\\Services\\VlmRefresh\\Status]\nCurrent = -7\n";
    for (const auto& c : cases) {
        CNTService::ControlHandler(c.nCode);
        EXPECT_EQ(c.events, root.TakeEvents()) << c.nCode;
        EXPECT_EQ(c.nCode == 128 ? strSaved : strAdmin, ReadWholeFile(root.Store())) << c.nCode;
    }
    EXPECT_EQ(platform::kServiceStopped, service.m_status.dwCurrentState.load());

    service.m_bRunning = 1;
    CNTService::ControlHandler(platform::kControlStop);
    EXPECT_EQ(std::vector<std::string>{"event 108"}, root.TakeEvents());
    EXPECT_EQ(platform::kServiceStopPending, service.m_status.dwCurrentState.load());
    EXPECT_EQ(0, service.m_bRunning.load());
    EXPECT_EQ(1, g_bStopRequested.load());
    g_bStopRequested = 0;
}

// A crashed service is started again after 2 s (as the Linux unit does it),
// twice, then a minute after each further crash; a day without one starts
// the count again. (Under Wine: tests/service-wine.)
TEST(ServiceInstall, FailureActionsRestartTwiceQuicklyThenEveryMinute) {
    platform::SFailureActions fa = BuildFailureActions();
    std::vector<uint32_t> actions{fa.nResetSeconds};  // then type and delay of each action
    for (const platform::SFailureAction& a : fa.actions) actions.insert(actions.end(), {a.nType, a.nDelayMs});
    EXPECT_EQ((std::vector<uint32_t>{86400, 1, 2000, 1, 2000, 1, 60000}), actions) << "1: restart";
}

// The syslog lines are Chinese where the Event Viewer would be: Simplified
// Chinese locales only. (Which variable names the locale: the event probe.)
TEST(ServiceInstall, EventLinesChineseForSimplifiedChineseLocalesOnly) {
    const struct { const char* szLocale; bool bChinese; } cases[] = {{"zh_CN.UTF-8", true}, {"zh_SG", true},
        {"zh", true}, {"zh_CN.GB18030@euro", true}, {"zh.UTF-8", true}, {"zh_TW.UTF-8", false}, {"zh_HK", false},
        {"zh_MO.UTF-8", false}, {"zhx_CN", false}, {"en_US.UTF-8", false}, {"C", false}, {"", false}};
    for (const auto& c : cases) EXPECT_EQ(c.bChinese, platform::IsSimplifiedChineseLocale(c.szLocale)) << c.szLocale;
}

}  // namespace

#endif  // _WIN32
