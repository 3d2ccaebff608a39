// The engine of the Linux registry store, working on the store file's
// bytes (the posix side reads and replaces the file). The store is plain
// text, one item a line:
//
//   [key path]            opens a key (names match without regard to ASCII
//                         letter case; blanks, tabs and CRs around are dropped)
//   Name = 10             a 32-bit number: decimal with an optional sign, or
//                         0x hexadecimal ("010" is ten)
//   Name = "text"         a text; expand:"text" an expandable text
//
// Lines starting with '#' or ';' are comments. A value belongs to the key
// above it; the first key of a name and its first value of a name answer.
// Lines end at LF and are written back as they were read, each with an LF.
// Thread safety: pure functions, safe from any thread.
#pragma once

#include <cstdint>
#include <string>

namespace platform {
namespace regstore {

// A 32-bit number as the store writes it or an administrator may: decimal
// with an optional sign, or 0x hexadecimal. False for anything else.
bool ParseNumber(const std::string& strText, int32_t& nValue);

// True when the store text has the key.
bool HasKey(const std::string& strText, const std::string& strKey);

// The number under strName in strKey; false when the key or the value is
// missing or the value is no number (a text counts as no value).
bool ReadNumber(const std::string& strText, const std::string& strKey,
                const std::string& strName, int32_t& nValue);

// The store with the key added at its end. False (strOut untouched) when the
// key is there already. bExisted false: there was no store file, and the new
// one starts with a comment on its form.
bool AddKey(const std::string& strText, bool bExisted, const std::string& strKey,
            std::string& strOut);

// The store with strName = strData in strKey (the key added when missing,
// the value replaced in place or added after the key's last line).
std::string SetValue(const std::string& strText, bool bExisted, const std::string& strKey,
                     const std::string& strName, const std::string& strData);

// The data of a value as SetValue wants it: a number as signed decimal, a
// text (UTF-8) in quotes, "expand:" in front of an expandable one.
std::string NumberData(uint32_t nData);
std::string TextData(const std::string& strUtf8, bool bExpand);

}  // namespace regstore
}  // namespace platform
