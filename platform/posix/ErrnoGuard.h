// CErrnoGuard keeps the caller's errno across the calls of a scope: it takes
// errno when made and puts it back when it goes. For helpers that must not
// disturb the error a caller is about to report.
// Thread safety: errno is per thread; a guard belongs to its thread.
#pragma once

#include <cerrno>

class CErrnoGuard {
public:
    CErrnoGuard() : m_nSaved(errno) {}
    ~CErrnoGuard() { errno = m_nSaved; }
    CErrnoGuard(const CErrnoGuard&) = delete;
    CErrnoGuard& operator=(const CErrnoGuard&) = delete;

private:
    int m_nSaved;
};
