#include "platform/Env.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>

#include "platform/Platform.h"

namespace {

std::atomic<CEnv*> g_pEnv{nullptr};

// The real clock on the side's calls; a sleep that waits on a flag ends as
// soon as the flag is set and the sleepers are woken.
class CSystemClock : public CClock {
public:
    int64_t Now() override { return platform::SystemTimeNow(); }

    bool ToLocalTime(int64_t tTime, SLocalTime& out) override {
        struct tm tmLocal;
        if (!platform::SystemLocalTime(tTime, tmLocal)) return false;
        out.nYear = tmLocal.tm_year + 1900;
        out.nMonth = tmLocal.tm_mon + 1;
        out.nDay = tmLocal.tm_mday;
        out.nHour = tmLocal.tm_hour;
        out.nMinute = tmLocal.tm_min;
        out.nSecond = tmLocal.tm_sec;
        return true;
    }

    void SleepMs(uint32_t nMs) override { platform::SystemSleepMs(nMs); }

    bool SleepUnlessSet(uint32_t nMs, const std::atomic<int32_t>& bFlag) override {
        std::unique_lock<std::mutex> lock(m_lock);
        return m_wake.wait_for(lock, std::chrono::milliseconds(nMs), [&bFlag] { return bFlag.load() != 0; });
    }

    void WakeSleepers() override {
        // Taken once between the setting of the flag and the wake: a sleeper
        // that looked at the flag before it was set is waiting by now.
        { std::lock_guard<std::mutex> lock(m_lock); }
        m_wake.notify_all();
    }

private:
    std::mutex m_lock;
    std::condition_variable m_wake;
};

class CDefaultEnv : public CEnv {
public:
    CClock& Clock() override { return m_clock; }
    std::string ExecutablePath() override { return platform::GetExecutablePath(); }
    std::string SystemRoot() override {
        const char* szRoot = std::getenv("VLM_SYSTEM_ROOT");
        return szRoot ? szRoot : "";
    }
    platform::SHttpTimeouts HttpTimeouts() override { return platform::SHttpTimeouts(); }
    platform::SHttpResult HttpGet(const platform::SHttpRequest& request, platform::IHttpBodySink& sink) override {
        return platform::HttpGet(request, sink);
    }

private:
    CSystemClock m_clock;
};

}  // namespace

bool CClock::SleepUnlessSet(uint32_t nMs, const std::atomic<int32_t>& bFlag) {
    if (bFlag.load() != 0) return true;
    SleepMs(nMs);
    return bFlag.load() != 0;
}

CEnv& GetDefaultEnv() {
    // Never destroyed: objects destroyed at process end (the CThread that
    // ends a worker) may still wake its sleepers.
    static CDefaultEnv& env = *new CDefaultEnv;
    return env;
}

CEnv& GetEnv() {
    CEnv* p = g_pEnv.load(std::memory_order_acquire);
    return p ? *p : GetDefaultEnv();
}

void SetEnv(CEnv* pEnv) { g_pEnv.store(pEnv, std::memory_order_release); }

CClock& GetClock() { return GetEnv().Clock(); }

bool GetLocalNow(SLocalTime& out) {
    CClock& clock = GetClock();
    return clock.ToLocalTime(clock.Now(), out);
}
