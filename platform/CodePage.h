// Conversion of UTF-8 text to the ANSI code page (936 on the machines the
// service is made for).
#pragma once

#include <cstddef>
#include <string>

namespace platform {

// Replaces the UTF-8 text by its conversion, which ends where the text's
// first zero byte stood. Malformed sequences and characters the code page
// lacks become the code page's default character '?'. Returns false (text
// empty) when the conversion could not be done.
bool ConvertUtf8ToAnsi(std::string& strText);

// The same conversion by plain means, which defines the bytes that the one
// above must give for every input: Linux one walk through its decoder,
// Windows the whole text through the system's two calls at once.
bool ConvertUtf8ToAnsiPlain(std::string& strText);

#ifdef _WIN32
// The Windows conversion in pieces of about nPiece bytes (ConvertUtf8ToAnsi
// takes a megabyte; tests take a few bytes, so that every input meets piece
// ends).
bool ConvertUtf8ToAnsiInPieces(std::string& strText, size_t nPiece);
#endif

}  // namespace platform
