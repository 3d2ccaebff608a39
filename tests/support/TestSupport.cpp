#include "support/TestSupport.h"

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/Platform.h"

namespace fs = std::filesystem;

namespace {

std::string MakeUniqueDir() {
    static std::atomic<unsigned> s_nCounter{0};
    auto nStamp = std::chrono::steady_clock::now().time_since_epoch().count();
    fs::path base = fs::temp_directory_path();
    for (;;) {
        std::ostringstream name;
        name << "vlmtest-" << nStamp << "-" << s_nCounter++;
        fs::path p = base / name.str();
        std::error_code ec;
        if (fs::create_directory(p, ec)) return p.string() + platform::kPathSep;
    }
}

}  // namespace

CTempDir::CTempDir() : m_strPath(MakeUniqueDir()) {}

CTempDir::~CTempDir() {
    std::error_code ec;
    fs::remove_all(fs::path(m_strPath), ec);
}

CModuleDirOverride::CModuleDirOverride(const std::string& strDir) {
    platform::SetModulePathOverride(strDir + "VlmRefreshSvc.exe");
}

CModuleDirOverride::~CModuleDirOverride() {
    platform::SetModulePathOverride(TestHomeDir() + "VlmRefreshSvc.exe");
}

std::string ReadWholeFile(const std::string& strPath) {
    std::string strOut;
    platform::ReadFileBytes(strPath, strOut);
    return strOut;
}

void WriteWholeFile(const std::string& strPath, const std::string& strBytes) {
    std::ofstream f(strPath, std::ios::binary | std::ios::trunc);
    f.write(strBytes.data(), static_cast<std::streamsize>(strBytes.size()));
}

const std::string& TestHomeDir() {
    static CTempDir s_home;
    return s_home.Path();
}
