// Linux profile functions: the portable INI engine applied to the file's bytes.
#include "platform/posix/IniText.h"
#include "platform/Platform.h"
#include "platform/Profile.h"

namespace platform {

namespace {
// A file saved as UTF-16 (byte order mark FF FE or FE FF): the engine works
// on code page 936 text only, so such a file is read as empty and never
// rewritten, rather than spoilt.
bool IsUtf16Text(const std::string& s) {
    return s.size() >= 2 && ((s[0] == '\xff' && s[1] == '\xfe') || (s[0] == '\xfe' && s[1] == '\xff'));
}
}  // namespace

std::string ReadProfileValue(const std::string& strSection, const std::string& strKey,
                             const std::string& strDefault, const std::string& strFile,
                             size_t nSize) {
    std::string strText;
    ReadFileBytes(strFile, strText);  // a missing file reads as empty text
    if (IsUtf16Text(strText)) strText.clear();
    return ini::ReadValue(strText, strSection, strKey, strDefault, nSize);
}

bool WriteProfileValue(const std::string& strSection, const std::string& strKey,
                        const std::string& strValue, const std::string& strFile) {
    std::string strText;
    int nKind = GetPathKind(strFile);
    if (nKind == 1) return false;
    // A file that is there but cannot be read is left alone rather than
    // replaced by the one new key.
    if (nKind == 0 && !ReadFileBytes(strFile, strText)) return false;
    if (IsUtf16Text(strText)) return false;
    std::string strNew;
    if (!ini::WriteValue(strText, strSection, strKey, strValue, strNew)) return true;
    return WriteFileBytes(strFile, strNew, kFileReplace);
}

}  // namespace platform
