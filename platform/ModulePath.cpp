// The executable's path, with the override that tests use to place
// "beside the executable" in a temporary directory.
#include <mutex>

#include "platform/Platform.h"

namespace platform {

namespace {
// Function-local, so that a global object of another file may set the
// override while globals are still being built.
struct SModuleOverride {
    std::mutex lock;
    std::string strPath;
};
SModuleOverride& ModuleOverride() {
    static SModuleOverride s_override;
    return s_override;
}
}  // namespace

std::string GetModulePath() {
    {
        SModuleOverride& o = ModuleOverride();
        std::lock_guard<std::mutex> lock(o.lock);
        if (!o.strPath.empty()) return o.strPath;
    }
    return GetExecutablePath();
}

void SetModulePathOverride(const std::string& strPath) {
    SModuleOverride& o = ModuleOverride();
    std::lock_guard<std::mutex> lock(o.lock);
    o.strPath = strPath;
}

}  // namespace platform
