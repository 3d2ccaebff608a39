#include "refresh/Judge.h"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "config/TextUtil.h"
#include "http/CharSet.h"
#include "log/LogWriter.h"
#include "refresh/VisibleText.h"

const char* const kMarker404 = "(404)";
const char* const kMarkerNoServer = "(\xce\xde\xb7\xa8\xc1\xac\xbd\xd3\xb5\xbd\xb7\xfe\xce\xf1\xc6\xf7)";  // (无法连接到服务器)
const char* const kMarkerNoData = "(\xce\xde\xca\xfd\xbe\xdd)";  // (无数据)

// One plain walk over the characters, comparing at each start.
size_t FindOnCharStartPlain(const std::string& strText, const std::string& strPattern) {
    const size_t n = strText.size(), m = strPattern.size();
    for (size_t i = 0; i + m <= n; i += Cp936CharLen(strText, i)) {
        if (strText.compare(i, m, strPattern) == 0) return i;
    }
    return std::string::npos;
}

namespace {

// A byte search for a pattern of at least one byte: candidates whose first
// and last bytes match are tested sixteen starting places at a time (pages
// are full of "<" and ">", so a search that stops at every "<" to compare
// would be slow), the rest by a Horspool search.
class CByteSearch {
public:
    CByteSearch(const std::string& strText, const std::string& strPattern)
        : m_p(reinterpret_cast<const unsigned char*>(strText.data())),
          m_pat(reinterpret_cast<const unsigned char*>(strPattern.data())),
          m_n(strText.size()),
          m_m(strPattern.size()) {
        for (size_t& k : m_shift) k = m_m;
        for (size_t k = 0; k + 1 < m_m; ++k) m_shift[m_pat[k]] = m_m - 1 - k;
    }

    // The first occurrence at or after nFrom, or npos.
    size_t FindFrom(size_t nFrom) const {
        const unsigned char *p = m_p, *pat = m_pat;
        const size_t n = m_n, m = m_m;
        size_t nStart = nFrom;
#if defined(__SSE2__)
        const __m128i vFirst = _mm_set1_epi8(static_cast<char>(pat[0]));
        const __m128i vLast = _mm_set1_epi8(static_cast<char>(pat[m - 1]));
        for (; nStart + m + 15 <= n; nStart += 16) {
            __m128i vAtFirst = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + nStart));
            __m128i vAtLast = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + nStart + m - 1));
            unsigned nMask = static_cast<unsigned>(
                _mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(vAtFirst, vFirst), _mm_cmpeq_epi8(vAtLast, vLast))));
            for (; nMask; nMask &= nMask - 1) {
                size_t nAt = nStart + static_cast<size_t>(__builtin_ctz(nMask));
                if (memcmp(p + nAt, pat, m) == 0) return nAt;
            }
        }
#endif
        // The rest (the whole text without SSE2) by the Horspool search. The
        // last and the first byte are compared before the call: a page has a
        // ">" at the end of every tag.
        for (size_t i = nStart + m - 1; i < n; i += m_shift[p[i]]) {
            if (p[i] == pat[m - 1] && p[i + 1 - m] == pat[0] && memcmp(p + i + 1 - m, pat, m - 1) == 0)
                return i + 1 - m;
        }
        return std::string::npos;
    }

private:
    const unsigned char* m_p;
    const unsigned char* m_pat;
    size_t m_n, m_m;
    size_t m_shift[256];
};

}  // namespace

// Candidates come from the byte search; whether one begins on a character is
// decided by a walk that only moves forward, so the whole search stays linear
// in the text.
size_t FindOnCharStart(const std::string& strText, const std::string& strPattern) {
    if (strPattern.empty()) return 0;
    CByteSearch search(strText, strPattern);
    // A byte below 0x40 is never the second byte of a character: every
    // occurrence of a pattern that starts with one begins on a character.
    if (static_cast<unsigned char>(strPattern[0]) < 0x40) return search.FindFrom(0);
    size_t nWalk = 0;  // always the start of a character
    size_t nFrom = 0;
    for (;;) {
        size_t nAt = search.FindFrom(nFrom);
        if (nAt == std::string::npos) return nAt;
        while (nWalk < nAt) nWalk += Cp936CharLen(strText, nWalk);
        if (nWalk == nAt) return nAt;
        nFrom = nWalk;  // nAt was the second byte of a character
    }
}

namespace {

// The text becomes its first nKeep bytes, then strInsert, then the text from
// nFrom on (nFrom may lie before nKeep: those bytes then appear twice).
void SpliceText(std::string& strText, size_t nKeep, const std::string& strInsert, size_t nFrom) {
    if (nFrom >= nKeep) {
        strText.replace(nKeep, nFrom - nKeep, strInsert);  // one move of the tail
        return;
    }
    // The text grows: its tail moves back behind the inserted bytes, in the
    // same buffer (which has room for it when the page was read into a
    // buffer that grew by doubling).
    const size_t nTail = strText.size() - nFrom;
    strText.resize(nKeep + strInsert.size() + nTail);
    memmove(&strText[nKeep + strInsert.size()], &strText[nFrom], nTail);
    if (!strInsert.empty()) memcpy(&strText[nKeep], strInsert.data(), strInsert.size());
}

// Cuts with the end tag already found at nEnd.
void ReplaceTagContentAt(std::string& strText, const std::string& strStartTag, size_t nEnd,
                         const std::string& strReplacement) {
    size_t nStart = FindOnCharStart(strText, strStartTag);
    if (nStart != std::string::npos) {
        SpliceText(strText, nStart + strStartTag.size(), strReplacement, nEnd);
    } else {
        SpliceText(strText, nEnd, strStartTag + strReplacement, nEnd);
    }
}

}  // namespace

void ReplaceTagContent(std::string& strText, const std::string& strStartTag,
                       const std::string& strEndTag, const std::string& strReplacement) {
    size_t nEnd = FindOnCharStart(strText, strEndTag);
    if (nEnd == std::string::npos) return;  // no end tag: nothing to cut
    ReplaceTagContentAt(strText, strStartTag, nEnd, strReplacement);
}

void JudgeAnswer(int nStatus, std::string& strText, int nLogOn, CLogWriter& logWriter,
                 CCharSet& charSet) {
    static const std::string strScriptStart = "<script ";
    static const std::string strScriptEnd = "</script>";
    static const std::string strFrameStart = "<iframe ";
    static const std::string strFrameEnd = "</iframe>";
    static const std::string strCut = ">";

    // The blocks are cut from the raw answer, before any conversion.
    size_t nEnd = FindOnCharStart(strText, strScriptEnd);
    if (nEnd != std::string::npos) ReplaceTagContentAt(strText, strScriptStart, nEnd, strCut);
    nEnd = FindOnCharStart(strText, strFrameEnd);
    if (nEnd != std::string::npos) ReplaceTagContentAt(strText, strFrameStart, nEnd, strCut);

    if (charSet.IsUTF8(strText.data(), static_cast<uint32_t>(strText.size())))
        charSet.UTF8ToANSI(strText, std::move(strText));  // the text is not needed after

    // The markers are set last, so the body has no say for 404 and 0.
    if (nStatus == 404) strText = kMarker404;
    else if (nStatus == 0) strText = kMarkerNoServer;
    else strText = ExtractVisibleText(std::move(strText));
    if (strText.empty()) strText = kMarkerNoData;

    if (nLogOn) logWriter.WriteDailyLog(nStatus, strText);
    // The cache file takes the result reduced once more. A result mostly is
    // its own reduction (a page of markup only gives back its markup): then
    // it goes there as it is; otherwise its reduction is made beside it.
    if (ReductionKeeps(strText)) {
        logWriter.WriteCache(nStatus, strText);
    } else {
        std::string strCache = ExtractVisibleText(strText);
        logWriter.WriteCache(nStatus, strCache);
    }
}
