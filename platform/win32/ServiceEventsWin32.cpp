// Windows side of the service-manager seam, the event log: the
// Application log's event source.
#include <windows.h>

#include "platform/Service.h"

namespace platform {

EventSourceHandle OpenEventSource(const char* szName) {
    return RegisterEventSourceA(nullptr, szName);
}

bool ReportEventTo(EventSourceHandle hSource, uint16_t nType, uint32_t nEventId,
                   uint16_t nStrings, const char* const* pStrings) {
    return ReportEventA(static_cast<HANDLE>(hSource), nType, 0, nEventId, nullptr, nStrings, 0,
                        const_cast<LPCSTR*>(pStrings), nullptr) != 0;
}

void CloseEventSource(EventSourceHandle hSource) {
    DeregisterEventSource(static_cast<HANDLE>(hSource));
}

}  // namespace platform
