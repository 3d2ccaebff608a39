// The refresh service VlmRefresh: the framework plus a per-second counter,
// seeded from the registry value Parameters\Start (step Parameters\Inc) at
// each start and saved to Status\Current on the user control 128.
#pragma once

#include <atomic>
#include <cstdint>

#include "config/Product.h"
#include "service/NTService.h"

class CMyService : public CNTService {
public:
    CMyService();

    void RunLoop() override;
    int InitService() override;
    int OnCustomControl(uint32_t nCode) override;
    void SaveCounter();

    int32_t m_nCounterStart;
    int32_t m_nCounterStep;
    std::atomic<int32_t> m_nCounter;
};

// The user control that saves the counter.
const uint32_t kControlSaveCounter = 128;

extern CMyService theService;
