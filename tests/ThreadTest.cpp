// The wake of a sleep and the end of a worker at process end, on the real
// clock. (A whole refresh and stops at every moment of it, on the real
// executable: service-stop/StopTest.sh.)
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "config/FileUtil.h"
#include "config/IniReader.h"
#include "platform/Env.h"
#include "platform/Platform.h"
#include "service/Thread.h"
#include "support/TestSupport.h"

namespace {

// The system clock whose sleeps do not end early for a stop: a worker in the
// hourly tail stays inside its pass, as one that hangs somewhere would.
class CSleepThroughClock : public CClock {
public:
    CClock& m_real = GetDefaultEnv().Clock();
    int64_t Now() override { return m_real.Now(); }
    bool ToLocalTime(int64_t tTime, SLocalTime& out) override { return m_real.ToLocalTime(tTime, out); }
    void SleepMs(uint32_t nMs) override { m_real.SleepMs(nMs); }
    bool SleepUnlessSet(uint32_t nMs, const std::atomic<int32_t>&) override { SleepMs(nMs); return false; }
};

std::string LogFile(const std::string& strName) { return GetModuleDir() + "log" + platform::kPathSep + strName; }

// The system clock's sleep ends once its flag is set and the sleepers are
// woken, not at its end (a stop would wait for it otherwise).
TEST(ClockWake, ASleepEndsWhenItsFlagIsSetAndWoken) {
    std::atomic<int32_t> bFlag{0};
    CClock& real = GetDefaultEnv().Clock();
    std::thread waker([&] { real.SleepMs(100); bFlag = 1; real.WakeSleepers(); });
    const int64_t tStart = SteadyMs();
    EXPECT_TRUE(real.SleepUnlessSet(20000, bFlag));
    waker.join();
    EXPECT_LT(SteadyMs() - tStart, 10000);
}

// The directory that the parent gives the child process of a death test.
const char* const kChildDirVariable = "VLM_THREAD_END_DIR";
void SetChildDir(const std::string& strDir) {
#ifdef _WIN32
    _putenv_s(kChildDirVariable, strDir.c_str());
#else
    setenv(kChildDirVariable, strDir.c_str(), 1);
#endif
}

TEST(ThreadEndDeathTest, WorkerInsideAPassIsEndedAtProcessEnd) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    // The child process runs this body anew: it finds the parent's home
    // directory in its environment and writes its files there.
    const char* szDir = getenv(kChildDirVariable);
    const std::string strDir = szDir && *szDir ? szDir : TestHomeDir();
    SetChildDir(strDir);
    const std::string strTail = "59\xb7\xd6" "57\xc3\xeb";  // 59分57秒
    EXPECT_EXIT(
        {
            // At process end the worker goes before the objects it uses: this
            // check runs after the end handler (registered later, by the start)
            // and before theIniReader is destroyed.
            atexit([] {
                if (theRefreshThread.m_hWorker != nullptr) abort();
            });
            // The worker's settings come from theIniReader.
            static CSleepThroughClock clock;
            static CModuleDirOverride inDir(strDir);  // never ends: the process does
            inDir.m_pClock = &clock;
            // An hourly run due with the first pass (one second ahead, far
            // enough from the end of the hour): its 3.3 s tail, which this
            // clock does not cut short, keeps the worker inside that pass.
            SLocalTime now;
            while (!GetLocalNow(now) || now.nMinute * 60 + now.nSecond >= 3590)
                std::this_thread::sleep_for(std::chrono::seconds(1));
            theIniReader.SetSoftOn("1");
            theIniReader.SetUrl("");
            theIniReader.SetLog("0");
            theIniReader.SetTimeStartFrom("1");
            theIniReader.SetTimeMinute("0");
            theIniReader.SetTimeSecond(std::to_string(now.nMinute * 60 + now.nSecond + 1));
            theRefreshThread.StartRefresh();
            bool bInTail = WaitUntil([&] {
                std::string s = ReadWholeFile(LogFile("time.txt"));
                return PathExists(LogFile("time.txt"), kPathIsFile) && (s.empty() || s == strTail);
            }, 5000);
            exit(bInTail ? 7 : 9);
        },
        ::testing::ExitedWithCode(7), "");
    // Had the worker gone on, its tail would end with 59分55秒 by now.
    std::this_thread::sleep_for(std::chrono::milliseconds(3500));
    std::string strStatus = ReadWholeFile(strDir + "log" + platform::kPathSep + "time.txt");
    EXPECT_TRUE(strStatus.empty() || strStatus == strTail || strStatus == "59\xb7\xd6" "56\xc3\xeb")
        << strStatus;
    SetChildDir("");
}

}  // namespace
