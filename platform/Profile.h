// Private-profile (INI file) functions.
//
// Windows: GetPrivateProfileStringA / WritePrivateProfileStringA.
// Linux: our own reader and writer (platform/posix/IniText.*) with the same
// observable behaviour, applied to the file's bytes.
#pragma once

#include <string>

namespace platform {

// The value of key in section of the file, at most nSize - 1 bytes of it;
// the default text when the file, the section or the key is missing.
std::string ReadProfileValue(const std::string& strSection, const std::string& strKey,
                             const std::string& strDefault, const std::string& strFile,
                             size_t nSize);

// Stores key=value in section, creating the file, the section or the key's
// line where missing. False when the file could not be written.
bool WriteProfileValue(const std::string& strSection, const std::string& strKey,
                        const std::string& strValue, const std::string& strFile);

}  // namespace platform
