// The service counter and the control handler in process, on Linux where the
// registry is the store file and events go to /dev/log under the system root.
#ifndef _WIN32

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/Clock.h"
#include "service/MyService.h"
#include "service/Thread.h"
#include "support/TestSupport.h"

namespace {

const char kParameters[] = "[SYSTEM\\CurrentControlSet\\Services\\VlmRefresh\\Parameters]\n";

// A system root in a temporary directory with the store's directory and a
// bound syslog socket; the environment points the seam at it.
class CSystemRoot {
public:
    CSystemRoot() : m_strRoot(MakeRoot(m_dir.Path())), m_log(m_strRoot + "/dev/log") {}
    ~CSystemRoot() { unsetenv("VLM_SYSTEM_ROOT"); }
    std::string Store() const { return m_strRoot + "/var/lib/VlmRefresh/registry.conf"; }

    // The ids of the events sent since the last call ("event 106"), without
    // the syslog prefix and the sentence.
    std::vector<std::string> TakeEvents() {
        std::vector<std::string> events = m_log.Take();
        for (std::string& s : events) {
            s = s.substr(s.find("]: ") + 3);
            s = s.substr(0, s.find(':'));
        }
        return events;
    }

private:
    static std::string MakeRoot(const std::string& strDir) {
        std::string strRoot = strDir.substr(0, strDir.size() - 1);
        for (const char* szSub : {"/var", "/var/lib", "/var/lib/VlmRefresh", "/dev"})
            mkdir((strRoot + szSub).c_str(), 0755);
        setenv("VLM_SYSTEM_ROOT", strRoot.c_str(), 1);
        return strRoot;
    }
    CTempDir m_dir;
    std::string m_strRoot;
    CDatagramSink m_log;
};

// A clock whose sleeps end the run loop after a given number of steps.
class CStepClock : public CClock {
public:
    CStepClock(CMyService& service, int nSteps) : m_service(service), m_nLeft(nSteps) {}
    int64_t Now() override { return 0; }
    bool ToLocalTime(int64_t, SLocalTime&) override { return false; }
    void SleepMs(uint32_t) override {
        if (--m_nLeft <= 0) m_service.m_bRunning = 0;
    }

private:
    CMyService& m_service;
    int m_nLeft;
};

TEST(ServiceCounter, StartAndIncAsAnAdministratorWritesThem) {
    struct SCase {
        bool bStore;
        std::string strStore;
        int32_t nStart;
        int32_t nStep;
    };
    const std::string strKey = kParameters;
    const SCase cases[] = {
        {false, "", 0, 1},
        {true, "", 0, 1},
        {true, strKey + "Start = 10\nInc = 5\n", 10, 5},
        {true, "[system\\currentcontrolset\\services\\vlmrefresh\\PARAMETERS]\nstart=0x10\nINC=-3\n",
         16, -3},
        {true, strKey + "Start = 4294967295\n", -1, 1},
        {true, strKey + "Start = 99999999999\nInc = 2\n", 0, 2},
        {true, strKey + "Start = \"12\"\nInc = 7x\n", 0, 1},
        // Decimal even with leading zeros, never octal.
        {true, strKey + "Start = 010\nInc = 09\n", 10, 9},
        {true, strKey + "Start = -0x10\nInc = +007\n", -16, 7},
        {true, strKey + "Start = 0x\nInc = 0x-5\n", 0, 1},
        {true, strKey + "Start = 0x1G\nInc = - 5\n", 0, 1},
        {true, "[Other]\nStart = 7\n\n" + strKey + "# a comment\n; another\nInc = 2\n[Next]\nStart=9\n",
         0, 2},
    };
    for (const SCase& c : cases) {
        CSystemRoot root;
        if (c.bStore) WriteWholeFile(root.Store(), c.strStore);
        CMyService service;
        EXPECT_EQ(1, service.InitService());
        const std::string strWhat = c.bStore ? c.strStore : "(no store)";
        EXPECT_EQ(c.nStart, service.m_nCounterStart) << strWhat;
        EXPECT_EQ(c.nStep, service.m_nCounterStep) << strWhat;
        EXPECT_EQ(c.nStart, service.m_nCounter.load()) << strWhat;
    }
}

TEST(ServiceCounter, RunLoopStepsOncePerSleepAndWraps) {
    struct SCase {
        int32_t nStart, nStep;
        int nSteps;
        int32_t nExpected;
        int32_t bStopRequested;  // a stop that came as m_bRunning was set to 1
    };
    const SCase cases[] = {
        {10, 5, 3, 25, 0},
        {0, 1, 1, 1, 0},
        {INT32_MAX, 1, 1, INT32_MIN, 0},
        {INT32_MIN, -1, 2, INT32_MAX - 1, 0},
        {10, 5, 3, 10, 1},
    };
    for (const SCase& c : cases) {
        g_bStopRequested = c.bStopRequested;
        CMyService service;
        service.m_nCounterStart = c.nStart;
        service.m_nCounterStep = c.nStep;
        service.m_nCounter = c.nStart;
        service.m_bRunning = 1;
        CStepClock clock(service, c.nSteps);
        SetClock(&clock);
        service.RunLoop();
        SetClock(nullptr);
        EXPECT_EQ(c.nExpected, service.m_nCounter.load()) << c.nStart << "+" << c.nStep;
    }
    g_bStopRequested = 0;
}

TEST(ServiceCounter, SaveKeepsTheAdministratorsLinesAndRecreatesTheStore) {
    CSystemRoot root;
    const std::string strAdmin = std::string("# mine\n") + kParameters + "Start = 10 ; ten\nInc = 5\n";
    WriteWholeFile(root.Store(), strAdmin);
    CMyService service;
    service.m_nCounter = 42;
    EXPECT_EQ(1, service.OnCustomControl(kControlSaveCounter));
    const std::string strStatus = "[SYSTEM\\CurrentControlSet\\Services\\VlmRefresh\\Status]\n";
    EXPECT_EQ(strAdmin + "\n" + strStatus + "Current = 42\n", ReadWholeFile(root.Store()));

    service.m_nCounter = -7;
    service.SaveCounter();
    EXPECT_EQ(strAdmin + "\n" + strStatus + "Current = -7\n", ReadWholeFile(root.Store()));

    // A store removed in between is made again.
    unlink(root.Store().c_str());
    service.SaveCounter();
    std::string strNew = ReadWholeFile(root.Store());
    EXPECT_NE(std::string::npos, strNew.find(strStatus + "Current = -7\n")) << strNew;
}

TEST(ServiceCounter, ControlHandlerEventsAndStop) {
    CSystemRoot root;
    CMyService service;
    service.m_nCounter = 3;
    struct SCase {
        uint32_t nCode;
        const char* szEvent;  // nullptr: no event
    };
    const SCase cases[] = {
        {0, "event 106"},   {6, "event 106"},  {127, "event 106"}, {129, "event 106"},
        {300, "event 106"}, {2, nullptr},      {3, nullptr},       {4, nullptr},
        {5, nullptr},       {128, nullptr},
    };
    for (const SCase& c : cases) {
        CNTService::ControlHandler(c.nCode);
        std::vector<std::string> events = root.TakeEvents();
        if (c.szEvent) {
            ASSERT_EQ(1u, events.size()) << c.nCode;
            EXPECT_EQ(c.szEvent, events[0]) << c.nCode;
        } else {
            EXPECT_TRUE(events.empty()) << c.nCode;
        }
        // Only 128 writes the store.
        EXPECT_EQ(c.nCode == 128, !ReadWholeFile(root.Store()).empty()) << c.nCode;
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

}  // namespace

#endif  // _WIN32
