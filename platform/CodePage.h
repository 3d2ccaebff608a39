// Conversion of UTF-8 text to the ANSI code page (936 on the machines the
// service is made for).
#pragma once

#include <string>

namespace platform {

// Replaces the UTF-8 text by its conversion, which ends where the text's
// first zero byte stood. Malformed sequences and characters the code page
// lacks become the code page's default character '?'. Returns false (text
// empty) when the conversion could not be done.
bool ConvertUtf8ToAnsi(std::string& strText);

}  // namespace platform
