#include <gtest/gtest.h>

#include "log/DateTime.h"
#include "support/FakeClock.h"

namespace {

struct DateTimeCase {
    int64_t tTime;
    const char* szDate;
    const char* szTime;
};

TEST(DateTime, LeadingZerosAndBoundaries) {
    const DateTimeCase cases[] = {
        {CFakeClock::At(2026, 3, 7, 9, 5, 2), "2026-03-07", "09:05:02"},
        {CFakeClock::At(2026, 10, 10, 23, 59, 59), "2026-10-10", "23:59:59"},
        {CFakeClock::At(999, 12, 31, 1, 2, 3), "999-12-31", "01:02:03"},
    };
    for (const DateTimeCase& c : cases) {
        CFakeClock clock(c.tTime);
        CFakeClockScope scope(clock);
        EXPECT_EQ(GetDateText(), c.szDate);
        EXPECT_EQ(GetTimeText(), c.szTime);
        EXPECT_EQ(GetDateTimeText(), std::string(c.szDate) + " " + c.szTime);
    }
}

TEST(DateTime, FailedConversionGivesTheEpoch) {
    CFakeClock clock(CFakeClock::At(2026, 3, 7, 9, 5, 2));
    clock.SetConversionFails(true);
    CFakeClockScope scope(clock);
    EXPECT_EQ(GetDateTimeText(), "1970-01-01 00:00:00");
}

}  // namespace
