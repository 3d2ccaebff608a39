// Windows side of the system clock: _time64, _localtime64_s and Sleep.
#include <windows.h>

#include <time.h>

#include "platform/Clock.h"

namespace platform {

int64_t SystemTimeNow() { return static_cast<int64_t>(_time64(nullptr)); }

bool SystemLocalTime(int64_t tTime, struct tm& out) {
    __time64_t t = static_cast<__time64_t>(tTime);
    return _localtime64_s(&out, &t) == 0;
}

void SystemSleepMs(uint32_t nMs) { Sleep(nMs); }

}  // namespace platform
