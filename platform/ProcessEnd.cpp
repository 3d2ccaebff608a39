// The hook at process end (platform/Thread.h), the same on both builds: the
// handler runs from exit(), before the process-wide objects are destroyed.
// With glibc it learns the exit status (on_exit); elsewhere it gets 0.
#include <atomic>
#include <cstdlib>

#include "platform/Thread.h"

namespace platform {

namespace {

std::atomic<void (*)(int)> g_pfnAtEnd{nullptr};

#ifdef __GLIBC__
void OnProcessEnd(int nStatus, void*) {
    if (void (*pfn)(int) = g_pfnAtEnd.load()) pfn(nStatus);
}
#else
void OnProcessEnd() {
    if (void (*pfn)(int) = g_pfnAtEnd.load()) pfn(0);
}
#endif

}  // namespace

void CallAtProcessEnd(void (*pfnHandler)(int)) {
    g_pfnAtEnd = pfnHandler;
#ifdef __GLIBC__
    on_exit(OnProcessEnd, nullptr);
#else
    atexit(OnProcessEnd);
#endif
}

}  // namespace platform
