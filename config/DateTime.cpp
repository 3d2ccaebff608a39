#include "config/DateTime.h"

#include <cstdio>

#include "platform/Clock.h"

namespace {

// Fields other than the year get one leading zero when at most 9. A time the
// C library cannot convert gives the fields of 1970-01-01 00:00:00.
SLocalTime ReadLocalNow() {
    SLocalTime lt{1970, 1, 1, 0, 0, 0};
    if (!GetLocalNow(lt)) lt = SLocalTime{1970, 1, 1, 0, 0, 0};
    return lt;
}

void AppendTwoDigits(std::string& s, int n, const char* szSuffix) {
    char buf[32];
    snprintf(buf, sizeof buf, n <= 9 ? "0%d%s" : "%d%s", n, szSuffix);
    s += buf;
}

}  // namespace

std::string FormatDateText(const SLocalTime& lt) {
    char buf[32];
    snprintf(buf, sizeof buf, "%d-", lt.nYear);
    std::string s = buf;
    AppendTwoDigits(s, lt.nMonth, "-");
    AppendTwoDigits(s, lt.nDay, "");
    return s;
}

std::string FormatTimeText(const SLocalTime& lt) {
    std::string s;
    AppendTwoDigits(s, lt.nHour, ":");
    AppendTwoDigits(s, lt.nMinute, ":");
    AppendTwoDigits(s, lt.nSecond, "");
    return s;
}

std::string GetDateText() { return FormatDateText(ReadLocalNow()); }

std::string GetTimeText() { return FormatTimeText(ReadLocalNow()); }

std::string GetDateTimeText() {
    std::string strTime = GetTimeText();
    std::string strDate = GetDateText();
    return strDate + " " + strTime;
}
