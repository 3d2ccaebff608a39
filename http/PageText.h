// The pieces of a page request that do not touch the network: the secure
// flag, the split of an address, the cache-busting parameter and the line
// reader that turns a body into the page text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/Http.h"

// True when a copy of the address, trimmed of white space at both ends and
// lowercased, begins with "https://".
bool IsSecureAddress(const std::string& strUrl);

// Splits an absolute "http://" or "https://" address (scheme in any case,
// surrounding white space ignored) into host, port and object. The object is
// the path with its query, "/" when the address has no path; a fragment is
// not part of it; bytes that cannot stand in a request line (controls, blank,
// DEL, bytes from 0x80 on) are percent-encoded. User information before '@'
// is dropped. False when the address cannot be split: another scheme, an
// empty or overlong host, a bad port.
bool SplitAddress(const std::string& strUrl, platform::SHttpTarget& target);

// Appends "?vlmrnd=<n>" (or "&vlmrnd=<n>" when the object already holds a
// '?'), n being the low 32 bits of the seconds count as a signed number.
void AddCacheBuster(std::string& strObject, int64_t tNow);

// The agent name: the executable's file name without its extension, of which
// only printable ASCII (0x20 to 0x7E) is kept: a name with control bytes or
// code page 936 text cannot break the request header.
std::string MakeAgentName(const std::string& strExecutablePath);

// A body read up to this size; the rest is not read.
constexpr size_t kMaxPageBody = 64u * 1024u * 1024u;
// A page text that outgrows a buffer of this size is given room for the
// rest of the body at once instead of doubling on.
constexpr size_t kRoomAtOnceBytes = 8u * 1024u * 1024u;

// Builds the page text from the body bytes: "\r\n" + line for each line,
// carriage returns dropped wherever they stand, a line feed ending a line, a
// zero byte ending its line's text. Stops taking bytes at kMaxPageBody.
class CPageTextBuilder : public platform::IHttpBodySink {
public:
    bool OnBody(const char* pData, size_t nSize) override;
    // Ends the text: after a complete read the last line counts even without
    // its line feed; after a failure only the lines that ended are kept.
    void Finish(bool bComplete);
    std::string& Text() { return m_strText; }

private:
    void AppendLines(const char* p, const char* pEnd);

    std::string m_strText;
    size_t m_nBodyBytes = 0;
    size_t m_nCommitted = 0;   // length of the text up to the last ended line
    bool m_bInLine = false;    // inside a line that has not ended yet
    bool m_bSkipLine = false;  // a zero byte was seen in this line
    bool m_bOverflow = false;
};
