// Linux side of the system clock: time, localtime_r and nanosleep.
#include <errno.h>
#include <time.h>

#include "platform/Clock.h"

namespace platform {

int64_t SystemTimeNow() { return static_cast<int64_t>(time(nullptr)); }

bool SystemLocalTime(int64_t tTime, struct tm& out) {
    time_t t = static_cast<time_t>(tTime);
    return localtime_r(&t, &out) != nullptr;
}

void SystemSleepMs(uint32_t nMs) {
    struct timespec ts;
    ts.tv_sec = static_cast<time_t>(nMs / 1000);
    ts.tv_nsec = static_cast<long>(nMs % 1000) * 1000000L;
    while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
}

}  // namespace platform
