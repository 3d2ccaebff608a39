// The INI engine of the Linux build, working on a file's bytes (code page
// 936): its profile functions stand on it. It behaves like the Windows build's
// profile functions, which load the whole file, and after a change write the
// whole file back in their own form:
//
//  - Lines end at CR or LF; blank lines are dropped when the file is written
//    back, and every line is written back with CR LF.
//  - Blanks (space, tab, vertical tab, form feed, Ctrl-Z) around a line, a
//    name and a value are dropped; "[ name ]junk" is the header of section "name" (up
//    to the last ']'); "key = value" an entry; a line without '=' an entry
//    without value (kept, read as missing). Lines starting with ';' are no
//    different: ";key=v" is an entry named ";key". Names and values end at
//    a zero byte; a line starting with '=' right after an entry whose name
//    reads empty is dropped (one starting with a zero byte is not).
//  - Names match without regard to ASCII letter case. The first section of a
//    name answers and takes new keys (appended after its last entry); within
//    it, the first entry of a name. A new section goes to the end of the file.
//  - A value in matching quotes ("..." or '...') reads without them.
//  - Bytes that are not code page 936 characters (a lead byte without a
//    proper trail byte) read and are written back as '?'.
//  - A write that changes nothing leaves the file untouched.
// Files starting with a UTF-8 byte order mark keep it; their non-ASCII bytes
// are taken as they are (docs/configuration.md).
#pragma once

#include <cstddef>
#include <string>

namespace platform {
namespace ini {

// The value of key in section of the INI text, cut to at most nSize - 1
// bytes of whole characters; the default (without its trailing spaces, cut
// likewise) when the section or the key is missing.
std::string ReadValue(const std::string& strText, const std::string& strSection,
                      const std::string& strKey, const std::string& strDefault, size_t nSize);

// Stores key=value in section. True with the new file text in strOut when the
// text changes; false (strOut untouched) when the key already holds the value.
bool WriteValue(const std::string& strText, const std::string& strSection,
                const std::string& strKey, const std::string& strValue, std::string& strOut);

}  // namespace ini
}  // namespace platform
