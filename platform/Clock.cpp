#include "platform/Clock.h"

#include <atomic>

namespace {

std::atomic<CClock*> g_pClock{nullptr};

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
};

}  // namespace

CClock& GetSystemClock() {
    static CSystemClock clock;
    return clock;
}

CClock& GetClock() {
    CClock* p = g_pClock.load(std::memory_order_acquire);
    return p ? *p : GetSystemClock();
}

void SetClock(CClock* pClock) { g_pClock.store(pClock, std::memory_order_release); }

bool GetLocalNow(SLocalTime& out) {
    CClock& clock = GetClock();
    return clock.ToLocalTime(clock.Now(), out);
}
