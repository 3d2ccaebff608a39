// The time seam: the only way the core reads the clock or sleeps.
//
// The clock in force is the environment's (platform/Env.h): the real one,
// or a settable fake with which tests run the one-second loop and the hourly
// timetable in simulated time.
#pragma once

#include <atomic>
#include <cstdint>
#include <ctime>

struct SLocalTime {
    int nYear;    // full year, e.g. 2026
    int nMonth;   // 1..12
    int nDay;     // 1..31
    int nHour;    // 0..23
    int nMinute;  // 0..59
    int nSecond;  // 0..59
};

class CClock {
public:
    virtual ~CClock() = default;
    // Calendar time: seconds since 1970-01-01 00:00:00 UTC.
    virtual int64_t Now() = 0;
    // Converts a calendar time to the machine's local time; false when the
    // conversion fails (a time outside what the C library converts).
    virtual bool ToLocalTime(int64_t tTime, SLocalTime& out) = 0;
    // Sleeps the calling thread for the given number of milliseconds.
    virtual void SleepMs(uint32_t nMs) = 0;
    // Sleeps like SleepMs, but ends early once bFlag is not 0 and WakeSleepers
    // has been called after it was set; true when the flag ended the sleep (at
    // once when it was set already). Without an override it looks at the flag
    // before and after a whole SleepMs.
    virtual bool SleepUnlessSet(uint32_t nMs, const std::atomic<int32_t>& bFlag);
    // Makes every SleepUnlessSet in progress look at its flag again; called
    // by whoever has just set such a flag.
    virtual void WakeSleepers() {}
};

// The clock in force: GetEnv().Clock().
CClock& GetClock();

// Reads the clock once and converts it; false when the conversion fails.
bool GetLocalNow(SLocalTime& out);

// What each side gives the system clock (platform/<side>/Clock*.cpp).
namespace platform {
// Calendar time in seconds since 1970-01-01 UTC.
int64_t SystemTimeNow();
// The local time as the C library breaks it down; false when it cannot.
bool SystemLocalTime(int64_t tTime, struct tm& out);
// Sleeps the calling thread.
void SystemSleepMs(uint32_t nMs);
}  // namespace platform
