// Linux profile functions: the portable INI engine applied to the file's bytes.
#include "platform/IniText.h"
#include "platform/Platform.h"
#include "platform/Profile.h"

namespace platform {

std::string ReadProfileValue(const std::string& strSection, const std::string& strKey,
                             const std::string& strDefault, const std::string& strFile,
                             size_t nSize) {
    std::string strText;
    ReadFileBytes(strFile, strText);  // a missing file reads as empty text
    return ini::ReadValue(strText, strSection, strKey, strDefault, nSize);
}

bool WriteProfileValue(const std::string& strSection, const std::string& strKey,
                        const std::string& strValue, const std::string& strFile) {
    std::string strText;
    ReadFileBytes(strFile, strText);
    return WriteFileBytes(strFile, ini::WriteValue(strText, strSection, strKey, strValue), false);
}

}  // namespace platform
