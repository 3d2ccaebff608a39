#include "support/FakeClock.h"

namespace {
int64_t DaysOfYear(int64_t nYear) { return (nYear % 4 == 0 && nYear % 100 != 0) || nYear % 400 == 0 ? 366 : 365; }
int DaysOfMonth(int64_t nYear, int nMonth) {
    static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return kDays[nMonth - 1] + (nMonth == 2 && DaysOfYear(nYear) == 366 ? 1 : 0);
}
}  // namespace

// Both directions count whole years and months from 1970: plain rather than
// fast, which is enough for the few centuries the tests use.
bool CFakeClock::ToLocalTime(int64_t tTime, SLocalTime& out) {
    if (m_bFail.load()) return false;
    const int64_t nSecs = (tTime % 86400 + 86400) % 86400;
    int64_t nDays = (tTime - nSecs) / 86400, nYear = 1970;
    while (nDays < 0) nDays += DaysOfYear(--nYear);
    while (nDays >= DaysOfYear(nYear)) nDays -= DaysOfYear(nYear++);
    int nMonth = 1;
    while (nDays >= DaysOfMonth(nYear, nMonth)) nDays -= DaysOfMonth(nYear, nMonth++);
    out = SLocalTime{static_cast<int>(nYear), nMonth, static_cast<int>(nDays) + 1, static_cast<int>(nSecs / 3600),
                     static_cast<int>(nSecs % 3600 / 60), static_cast<int>(nSecs % 60)};
    return true;
}

int64_t CFakeClock::At(int nYear, int nMonth, int nDay, int nHour, int nMinute, int nSecond) {
    int64_t nDays = nDay - 1;
    for (int64_t y = 1970; y < nYear; ++y) nDays += DaysOfYear(y);
    for (int64_t y = nYear; y < 1970; ++y) nDays -= DaysOfYear(y);
    for (int m = 1; m < nMonth; ++m) nDays += DaysOfMonth(nYear, m);
    return nDays * 86400 + nHour * 3600 + nMinute * 60 + nSecond;
}
