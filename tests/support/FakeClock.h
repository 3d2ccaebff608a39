// A settable clock for tests: local time is UTC, sleeping advances the time
// instead of waiting. Safe to read from several threads.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>

#include "platform/Clock.h"
#include "support/TestEnv.h"

class CFakeClock : public CClock {
public:
    explicit CFakeClock(int64_t tStart = 0) : m_nNowMs(tStart * 1000) {}

    int64_t Now() override { return m_nNowMs.load() / 1000; }
    bool ToLocalTime(int64_t tTime, SLocalTime& out) override;
    void SleepMs(uint32_t nMs) override {
        if (m_fnOnSleep) m_fnOnSleep(nMs);
        m_nNowMs.fetch_add(nMs);
    }
    // A flag set before the sleep or by m_fnOnSleep (a stop that comes as the
    // sleep begins) ends it with no time passed.
    bool SleepUnlessSet(uint32_t nMs, const std::atomic<int32_t>& bFlag) override {
        if (bFlag.load() != 0) return true;
        if (m_fnOnSleep) m_fnOnSleep(nMs);
        if (bFlag.load() != 0) return true;
        m_nNowMs.fetch_add(nMs);
        return false;
    }

    void Set(int64_t tSeconds) { m_nNowMs.store(tSeconds * 1000); }
    int64_t NowMs() const { return m_nNowMs.load(); }
    void SetConversionFails(bool b) { m_bFail.store(b); }

    // Seconds since 1970 of a UTC calendar time.
    static int64_t At(int nYear, int nMonth, int nDay, int nHour, int nMinute, int nSecond);

    // Told of every sleep before the time moves on (set before the clock is
    // in use).
    std::function<void(uint32_t)> m_fnOnSleep;

private:
    std::atomic<int64_t> m_nNowMs;
    std::atomic<bool> m_bFail{false};
};

// Puts a fake clock in place for the life of the object.
struct CFakeClockScope : CTestEnv { explicit CFakeClockScope(CClock& clock) { m_pClock = &clock; } };
