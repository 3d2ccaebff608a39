// What installation asks of the service manager beyond the registration,
// and the language of the Linux event lines.
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "service/NTService.h"
#ifndef _WIN32
#include "platform/posix/PosixInternal.h"
#endif

namespace {

// A crashed service is started again after 2 s (as the Linux unit does it),
// twice, then a minute after each further crash; a day without one starts
// the count again. (Under Wine: tests/service-wine.)
TEST(ServiceInstall, FailureActionsRestartTwiceQuicklyThenEveryMinute) {
    platform::SFailureActions fa = BuildFailureActions();
    std::vector<std::pair<uint32_t, uint32_t>> actions;
    for (const platform::SFailureAction& a : fa.actions) actions.emplace_back(a.nType, a.nDelayMs);
    EXPECT_EQ(24u * 60 * 60, fa.nResetSeconds);
    const uint32_t kRestart = platform::kFailureActionRestart;
    EXPECT_EQ((std::vector<std::pair<uint32_t, uint32_t>>{{kRestart, 2000}, {kRestart, 2000}, {kRestart, 60000}}),
              actions);
}

#ifndef _WIN32
// The syslog lines are Chinese where the Event Viewer would be: Simplified
// Chinese locales only. (Which variable names the locale: the event probe.)
TEST(ServiceInstall, EventLinesChineseForSimplifiedChineseLocalesOnly) {
    const struct { const char* szLocale; bool bChinese; } cases[] = {
        {"zh_CN.UTF-8", true}, {"zh_SG", true}, {"zh", true}, {"zh_CN.GB18030@euro", true}, {"zh.UTF-8", true},
        {"zh_TW.UTF-8", false}, {"zh_HK", false}, {"zh_MO.UTF-8", false}, {"zhx_CN", false},
        {"en_US.UTF-8", false}, {"C", false}, {"", false},
    };
    for (const auto& c : cases) EXPECT_EQ(c.bChinese, platform::IsSimplifiedChineseLocale(c.szLocale)) << c.szLocale;
}
#endif

}  // namespace
