// The counter of the refresh service; the refresh work itself is started by
// the framework's service entry.
#include "service/MyService.h"

#include "platform/Clock.h"
#include "platform/Service.h"
#include "service/Thread.h"

CMyService::CMyService()
    : CNTService(kServiceName), m_nCounterStart(0), m_nCounterStep(1), m_nCounter(0) {}

int CMyService::InitService() {
    char szKey[1024];
    BuildServiceKeyPath(szKey, kServicesKeyPath, m_szName, "\\Parameters");
    platform::RegKeyHandle hKey = platform::OpenRegKeyForQuery(szKey);
    if (hKey) {
        platform::QueryRegValue4(hKey, "Start", m_nCounterStart);
        platform::QueryRegValue4(hKey, "Inc", m_nCounterStep);
        platform::CloseRegKey(hKey);
    }
    m_nCounter = m_nCounterStart;
    return 1;
}

void CMyService::RunLoop() {
    // g_bStopRequested stays set once a stop has come: a stop that arrives
    // just as the service entry sets m_bRunning to 1 still ends the loop. The
    // stop wakes the sleep; the part of a second slept then is not counted.
    while (m_bRunning != 0 && g_bStopRequested == 0) {
        if (GetClock().SleepUnlessSet(1000, g_bStopRequested)) break;
        // 32-bit, wrapping: the addition is made unsigned.
        uint32_t nNext = static_cast<uint32_t>(m_nCounter.load()) +
                         static_cast<uint32_t>(m_nCounterStep);
        m_nCounter = static_cast<int32_t>(nNext);
    }
}

int CMyService::OnCustomControl(uint32_t nCode) {
    if (nCode != kControlSaveCounter) return 0;
    SaveCounter();
    return 1;
}

void CMyService::SaveCounter() {
    char szKey[1024];
    BuildServiceKeyPath(szKey, kServicesKeyPath, m_szName, "\\Status");
    platform::RegKeyHandle hKey = platform::CreateRegKeyForWrite(szKey);
    if (!hKey) return;
    platform::SetRegDword(hKey, "Current", static_cast<uint32_t>(m_nCounter.load()));
    platform::CloseRegKey(hKey);
}
