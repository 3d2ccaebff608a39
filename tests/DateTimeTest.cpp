#include <gtest/gtest.h>

#include "log/DateTime.h"
#include "support/FakeClock.h"

namespace {

// Leading zeros for 0 to 9 only, the year as it is; a time the clock cannot
// convert gives the epoch. (Times with leading zeros: the log writer tests.)
TEST(DateTime, LeadingZerosBoundariesAndFailedConversion) {
    const struct {
        int64_t tTime;
        bool bConversionFails;
        const char* szDate;
        const char* szTime;
    } cases[] = {
        {CFakeClock::At(2026, 10, 10, 23, 59, 59), false, "2026-10-10", "23:59:59"},
        {CFakeClock::At(999, 12, 31, 1, 2, 3), false, "999-12-31", "01:02:03"},
        {CFakeClock::At(2026, 3, 7, 9, 5, 2), true, "1970-01-01", "00:00:00"},
    };
    for (const auto& c : cases) {
        CFakeClock clock(c.tTime);
        clock.SetConversionFails(c.bConversionFails);
        CFakeClockScope scope(clock);
        EXPECT_EQ(GetDateText(), c.szDate);
        EXPECT_EQ(GetTimeText(), c.szTime);
        EXPECT_EQ(GetDateTimeText(), std::string(c.szDate) + " " + c.szTime);
    }
}

}  // namespace
