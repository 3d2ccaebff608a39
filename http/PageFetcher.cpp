#include "http/PageFetcher.h"

#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include "config/TextUtil.h"
#include "http/PageText.h"
#include "platform/Env.h"
#include "platform/Http.h"

namespace {

constexpr size_t kMaxHostLength = 2084;

// Bounds of the address without the white space around it.
void AddressBounds(const std::string& str, size_t& nBegin, size_t& nEnd) {
    nBegin = 0;
    nEnd = str.size();
    while (nBegin < nEnd && IsAsciiSpace(str[nBegin])) ++nBegin;
    while (nEnd > nBegin && IsAsciiSpace(str[nEnd - 1])) --nEnd;
}

// True when str[nPos..] begins with the lower-case prefix, in any case.
bool StartsWithNoCase(const std::string& str, size_t nPos, size_t nEnd, const char* szPrefix) {
    for (; *szPrefix; ++szPrefix, ++nPos) {
        if (nPos >= nEnd || AsciiLower(str[nPos]) != *szPrefix) return false;
    }
    return true;
}

bool ParsePort(const std::string& str, size_t nBegin, size_t nEnd, uint16_t& nPort) {
    if (nBegin == nEnd) return true;  // "host:" keeps the scheme's port
    if (nEnd - nBegin > 5) return false;
    unsigned long nValue = 0;
    for (size_t i = nBegin; i < nEnd; ++i) {
        if (str[i] < '0' || str[i] > '9') return false;
        nValue = nValue * 10 + static_cast<unsigned long>(str[i] - '0');
    }
    if (nValue == 0 || nValue > 65535) return false;
    nPort = static_cast<uint16_t>(nValue);
    return true;
}

bool NeedsEscape(unsigned char c) { return c <= 0x20 || c >= 0x7F; }

// The path as the Windows platform sends it (and so existing installations
// do): a backslash is a slash, and the segments "." and ".." are resolved as
// a browser resolves them ("/d/./x" is "/d/x", "/d/../x" is "/x", ".." never
// climbs above the root). strPath begins with '/'.
std::string CanonicalPath(const std::string& strPath) {
    std::vector<std::string> segments;
    size_t nPos = 1;
    for (;;) {
        size_t nSlash = strPath.find_first_of("/\\", nPos);
        bool bLast = nSlash == std::string::npos;
        std::string strSegment = strPath.substr(nPos, bLast ? std::string::npos : nSlash - nPos);
        if (strSegment == "." || strSegment == "..") {
            if (strSegment == ".." && !segments.empty()) segments.pop_back();
            if (bLast) segments.emplace_back();  // "/d/." and "/d/e/.." end in a slash
        } else {
            segments.push_back(strSegment);
        }
        if (bLast) break;
        nPos = nSlash + 1;
    }
    std::string strOut;
    for (const std::string& strSegment : segments) strOut += "/" + strSegment;
    return strOut.empty() ? "/" : strOut;
}

}  // namespace

bool IsSecureAddress(const std::string& strUrl) {
    size_t nBegin, nEnd;
    AddressBounds(strUrl, nBegin, nEnd);
    return StartsWithNoCase(strUrl, nBegin, nEnd, "https://");
}

bool SplitAddress(const std::string& strUrl, platform::SHttpTarget& target) {
    size_t nBegin, nEnd;
    AddressBounds(strUrl, nBegin, nEnd);
    uint16_t nPort;
    size_t nPos;
    if (StartsWithNoCase(strUrl, nBegin, nEnd, "http://")) {
        nPort = 80;
        nPos = nBegin + 7;
    } else if (StartsWithNoCase(strUrl, nBegin, nEnd, "https://")) {
        nPort = 443;
        nPos = nBegin + 8;
    } else {
        return false;
    }

    size_t nAuthEnd = strUrl.find_first_of("/?#", nPos);
    if (nAuthEnd == std::string::npos || nAuthEnd > nEnd) nAuthEnd = nEnd;
    size_t nAt = strUrl.rfind('@', nAuthEnd == 0 ? 0 : nAuthEnd - 1);
    if (nAt != std::string::npos && nAt >= nPos && nAt < nAuthEnd) nPos = nAt + 1;

    size_t nHostBegin = nPos, nHostEnd, nPortBegin = nAuthEnd;
    if (nPos < nAuthEnd && strUrl[nPos] == '[') {
        size_t nClose = strUrl.find(']', nPos);
        if (nClose == std::string::npos || nClose >= nAuthEnd) return false;
        nHostBegin = nPos + 1;
        nHostEnd = nClose;
        if (nClose + 1 < nAuthEnd) {
            if (strUrl[nClose + 1] != ':') return false;
            nPortBegin = nClose + 2;
        }
    } else {
        size_t nColon = strUrl.find(':', nPos);
        nHostEnd = (nColon != std::string::npos && nColon < nAuthEnd) ? nColon : nAuthEnd;
        if (nHostEnd < nAuthEnd) nPortBegin = nHostEnd + 1;
    }
    if (nHostEnd == nHostBegin || nHostEnd - nHostBegin > kMaxHostLength) return false;
    if (!ParsePort(strUrl, nPortBegin, nAuthEnd, nPort)) return false;

    size_t nObjectEnd = strUrl.find('#', nAuthEnd);
    if (nObjectEnd == std::string::npos || nObjectEnd > nEnd) nObjectEnd = nEnd;
    size_t nPathEnd = strUrl.find('?', nAuthEnd);
    if (nPathEnd == std::string::npos || nPathEnd > nObjectEnd) nPathEnd = nObjectEnd;
    // The path before the query in its canonical form, the query as written.
    std::string strPath = strUrl.substr(nAuthEnd, nPathEnd - nAuthEnd);
    if (strPath.empty() || strPath[0] != '/') strPath.insert(0, "/");
    std::string strRaw = CanonicalPath(strPath) +
                         strUrl.substr(nPathEnd, nObjectEnd - nPathEnd);
    std::string strObject;
    strObject.reserve(strRaw.size() + 16);
    static const char kHex[] = "0123456789ABCDEF";
    for (char cRaw : strRaw) {
        unsigned char c = static_cast<unsigned char>(cRaw);
        if (NeedsEscape(c)) {
            strObject += '%';
            strObject += kHex[c >> 4];
            strObject += kHex[c & 15];
        } else {
            strObject += static_cast<char>(c);
        }
    }

    target.strHost.assign(strUrl, nHostBegin, nHostEnd - nHostBegin);
    target.nPort = nPort;
    target.strObject.swap(strObject);
    return true;
}

std::string MakeAgentName(const std::string& strExecutablePath) {
    size_t nSlash = strExecutablePath.find_last_of("/\\");
    std::string strName = nSlash == std::string::npos ? strExecutablePath : strExecutablePath.substr(nSlash + 1);
    size_t nDot = strName.rfind('.');
    if (nDot != std::string::npos && nDot > 0) strName.resize(nDot);
    std::string strAgent;
    for (char c : strName) {
        if (c >= 0x20 && c <= 0x7E) strAgent += c;
    }
    return strAgent;
}

void AddCacheBuster(std::string& strObject, int64_t tNow) {
    // "%d" of the seconds count: its low 32 bits as a signed number.
    int32_t nLow = static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(tNow) & 0xFFFFFFFFu));
    char szBuf[32];
    std::snprintf(szBuf, sizeof szBuf, strObject.find('?') == std::string::npos ? "?vlmrnd=%d" : "&vlmrnd=%d",
                  static_cast<int>(nLow));
    strObject += szBuf;
}

bool CPageTextBuilder::OnBody(const char* pData, size_t nSize) {
    if (m_bOverflow) return false;
    bool bGoOn = true;
    if (nSize > kMaxPageBody - m_nBodyBytes) {
        nSize = kMaxPageBody - m_nBodyBytes;
        m_bOverflow = true;
        bGoOn = false;
    }
    m_nBodyBytes += nSize;
    try {
        // Each body byte gives at most two bytes of text (an empty line is
        // "\r\n"), and the text's end two more. Growing by doubling copies
        // the text each time and holds it twice for a moment; a large text
        // gets, once, room for the most it can still become (memory that is
        // never written is not taken from the machine).
        const size_t nMost = m_strText.size() + 2 * nSize + 2;
        if (nMost > m_strText.capacity() && m_strText.capacity() >= kRoomAtOnceBytes) {
            m_strText.reserve(nMost + 2 * (kMaxPageBody - m_nBodyBytes));
        }
        AppendLines(pData, pData + nSize);
    } catch (const std::bad_alloc&) {
        // Out of memory: what has ended so far is kept, as after a broken read.
        m_bOverflow = true;
        return false;
    }
    return bGoOn;
}

// Whole runs at a time: the pieces between line feeds, and within them the
// runs between carriage returns, up to a zero byte.
void CPageTextBuilder::AppendLines(const char* p, const char* pEnd) {
    while (p < pEnd) {
        if (!m_bInLine) {
            m_strText += "\r\n";
            m_bInLine = true;
            m_bSkipLine = false;
        }
        const char* pFeed = static_cast<const char*>(memchr(p, '\n', static_cast<size_t>(pEnd - p)));
        const char* pLineEnd = pFeed ? pFeed : pEnd;
        if (!m_bSkipLine) {
            const char* pZero = static_cast<const char*>(memchr(p, '\0', static_cast<size_t>(pLineEnd - p)));
            const char* pTake = pZero ? pZero : pLineEnd;
            while (p < pTake) {
                const char* pCr = static_cast<const char*>(memchr(p, '\r', static_cast<size_t>(pTake - p)));
                const char* pRunEnd = pCr ? pCr : pTake;
                m_strText.append(p, static_cast<size_t>(pRunEnd - p));
                p = pCr ? pCr + 1 : pTake;
            }
            if (pZero) m_bSkipLine = true;
        }
        if (!pFeed) return;
        m_bInLine = false;
        m_nCommitted = m_strText.size();
        p = pFeed + 1;
    }
}

void CPageTextBuilder::Finish(bool bComplete) {
    if (bComplete && !m_bOverflow) {
        m_nCommitted = m_strText.size();
    } else {
        m_strText.resize(m_nCommitted);
    }
    m_bInLine = false;
}

int CPageFetcher::FetchPage(std::string strUrl, std::string& strPage, platform::EHttpFailure* pWhy) {
    platform::EHttpFailure eIgnored;
    platform::EHttpFailure& eWhy = pWhy ? *pWhy : eIgnored;
    // Once the stop has come nothing is sent, and whatever the address, no
    // run can make a record of it.
    if (m_pAbort && m_pAbort->load() != 0) {
        eWhy = platform::kHttpFailStopped;
        return 0;
    }
    eWhy = platform::kHttpFailBadAddress;
    if (strUrl.empty()) return 0;
    CEnv& env = GetEnv();
    platform::SHttpRequest request;
    request.target.bSecure = IsSecureAddress(strUrl);
    if (!SplitAddress(strUrl, request.target)) return 0;
    AddCacheBuster(request.target.strObject, env.Clock().Now());
    request.strAgent = MakeAgentName(env.ExecutablePath());
    request.timeouts = env.HttpTimeouts();
    request.pAbort = m_pAbort;

    // An empty text given lends its buffer: a caller that keeps it from one
    // request to the next reads a page of the same size without growing it.
    CPageTextBuilder builder;
    if (strPage.empty()) builder.Text().swap(strPage);
    platform::SHttpResult result = env.HttpGet(request, builder);
    eWhy = result.bStopped ? platform::kHttpFailStopped
           : result.nStatus == 0 ? result.eFailure
                                 : platform::kHttpFailNone;
    if (result.nStatus == 0) {
        if (strPage.empty()) strPage.swap(builder.Text().erase());
        return 0;
    }
    builder.Finish(result.bComplete);
    strPage.swap(builder.Text());
    return result.nStatus;
}
