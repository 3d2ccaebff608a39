// Conversion of UTF-8 text to the ANSI code page (936 on the machines the
// service is made for).
#pragma once

#include <string>

namespace platform {

// Converts the UTF-8 text up to its first zero byte. Malformed sequences and
// characters the code page lacks become the code page's default character
// '?'. Returns false (out empty) when the conversion could not be done.
bool ConvertUtf8ToAnsi(const std::string& strIn, std::string& strOut);

}  // namespace platform
