#include "support/FakeClock.h"

namespace {
// Days since 1970-01-01 of a proleptic Gregorian date, and back.
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}
}  // namespace

bool CFakeClock::ToLocalTime(int64_t tTime, SLocalTime& out) {
    if (m_bFail.load()) return false;
    int64_t nDays = tTime >= 0 ? tTime / 86400 : (tTime - 86399) / 86400;
    int64_t nSecs = tTime - nDays * 86400;
    int64_t z = nDays + 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    const unsigned d = doy - (153 * mp + 2) / 5 + 1;
    const unsigned m = mp < 10 ? mp + 3 : mp - 9;
    out.nYear = static_cast<int>(static_cast<int64_t>(yoe) + era * 400 + (m <= 2));
    out.nMonth = static_cast<int>(m);
    out.nDay = static_cast<int>(d);
    out.nHour = static_cast<int>(nSecs / 3600);
    out.nMinute = static_cast<int>(nSecs % 3600 / 60);
    out.nSecond = static_cast<int>(nSecs % 60);
    return true;
}

int64_t CFakeClock::At(int nYear, int nMonth, int nDay, int nHour, int nMinute, int nSecond) {
    return DaysFromCivil(nYear, static_cast<unsigned>(nMonth), static_cast<unsigned>(nDay)) *
               86400 +
           nHour * 3600 + nMinute * 60 + nSecond;
}
