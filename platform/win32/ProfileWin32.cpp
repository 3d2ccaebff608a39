#include <windows.h>

#include <vector>

#include "platform/Profile.h"

namespace platform {

std::string ReadProfileValue(const std::string& strSection, const std::string& strKey,
                             const std::string& strDefault, const std::string& strFile,
                             size_t nSize) {
    if (nSize == 0) return std::string();
    // The profile functions may keep the file parsed and read it again only
    // when its write time changed (Wine does), so a rewrite within the same
    // tick of the file clock would go unseen: the documented flush drops the
    // kept copy first. It writes nothing and creates no file.
    WritePrivateProfileStringA(nullptr, nullptr, nullptr, strFile.c_str());
    std::vector<char> buf(nSize, 0);
    GetPrivateProfileStringA(strSection.c_str(), strKey.c_str(), strDefault.c_str(), buf.data(),
                             static_cast<DWORD>(nSize), strFile.c_str());
    return std::string(buf.data());
}

bool WriteProfileValue(const std::string& strSection, const std::string& strKey,
                        const std::string& strValue, const std::string& strFile) {
    return WritePrivateProfileStringA(strSection.c_str(), strKey.c_str(), strValue.c_str(),
                                      strFile.c_str()) != 0;
}

}  // namespace platform
