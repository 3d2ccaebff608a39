#include "platform/Clock.h"

#include <atomic>

namespace {
std::atomic<CClock*> g_pClock{nullptr};
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
