// Portable INI engine working on a file's bytes: the Linux build's profile
// functions stand on it, and the Windows build's tests compare it with the
// real profile functions.
#pragma once

#include <string>

namespace platform {
namespace ini {

// The value of key in section of the INI text (at most nSize - 1 bytes), or
// the default when the section or the key is missing.
std::string ReadValue(const std::string& strText, const std::string& strSection,
                      const std::string& strKey, const std::string& strDefault, size_t nSize);

// The INI text after storing key=value in section.
std::string WriteValue(const std::string& strText, const std::string& strSection,
                       const std::string& strKey, const std::string& strValue);

}  // namespace ini
}  // namespace platform
