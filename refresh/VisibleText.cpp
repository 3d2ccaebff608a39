// The reduction of a page to its visible text (see VisibleText.h): a plain
// walk that defines the result, and the walk the service uses, which takes
// sixteen bytes at a time where no neighbour byte matters.
#include "refresh/VisibleText.h"

#include "config/TextUtil.h"

#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// "&lt;" or "&gt;" at p[i] ('&') read as its bracket; 0 when neither stands
// there.
inline unsigned char ReadBracketRef(const unsigned char* p, size_t i, size_t n) {
    if (n - i < 4 || p[i + 2] != 't' || p[i + 3] != ';') return 0;
    if (p[i + 1] == 'l') return '<';
    if (p[i + 1] == 'g') return '>';
    return 0;
}


// One step of the plain walk at p[i]: steps 1 and 2 for one byte (or one
// reference), handing each byte of the step-2 text to emit. nPending holds a
// lead byte waiting for the character's second byte (-1: none). Returns the
// position after what was read.
template <class TEmit>
inline size_t PlainStep(const unsigned char* p, size_t i, size_t n, int& nPending, TEmit&& emit) {
    unsigned char t = p[i++];
    if (t == '\n' || t == '\r' || t == ' ') return i;  // gone before characters are paired
    unsigned char r = t == '&' ? ReadBracketRef(p, i - 1, n) : 0;
    if (r) t = r, i += 3;
    if (nPending >= 0) {
        unsigned char lead = static_cast<unsigned char>(nPending);
        nPending = -1;
        if (IsCp936TrailByte(t)) {
            if (!(lead == 0xA1 && t == 0xA1)) emit(lead), emit(t);
            return i;
        }
        emit(lead);
    }
    if (IsCp936LeadByte(t)) nPending = t;
    else if (t != '\t') emit(t);
    return i;
}

}  // namespace

// The plain walk: each byte of the step-2 text goes to strBare and, outside
// markup, to strVisible.
std::string ExtractVisibleTextPlain(std::string strText) {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(strText.data());
    std::string strBare, strVisible;
    bool bOutside = true;
    auto emit = [&](unsigned char b) {
        strBare += static_cast<char>(b);
        if (b == '<') bOutside = false;
        else if (b == '>') bOutside = true;
        else if (bOutside) strVisible += static_cast<char>(b);
    };
    int nPending = -1;
    for (size_t i = 0; i < strText.size();) i = PlainStep(p, i, strText.size(), nPending, emit);
    if (nPending >= 0) emit(static_cast<unsigned char>(nPending));
    return strVisible.empty() ? strBare : strVisible;
}

namespace {

// The fast walk writes the result over the input in place: the write
// position never passes the read position, and a store never reaches a byte
// not yet read. Nothing is written before the first visible byte, so when
// none is found the input is still whole for the plain walk.

// Per byte: kSpecial for "&", "<" and ">", kLeadBit for a lead byte of code
// page 936, kKeep for a byte that is kept outside markup (blanks and tabs
// have no flag); and whether it can be the second byte of a character.
enum : uint8_t { kSpecial = 1, kLeadBit = 2, kKeep = 4 };

struct CByteTables {
    uint8_t m_flags[256];
    uint8_t m_trail[256];
    uint8_t m_keep[256];  // 1 for a byte with kKeep
    CByteTables() {
        for (int i = 0; i < 256; ++i) {
            const unsigned char c = static_cast<unsigned char>(i);
            m_flags[i] = IsCp936LeadByte(c) ? (kLeadBit | kKeep) : kKeep;
            m_trail[i] = IsCp936TrailByte(c) ? 1 : 0;
        }
        m_flags[0x0A] = m_flags[0x0D] = m_flags[0x20] = m_flags[0x09] = 0;  // dropped
        m_flags[0x26] = m_flags[0x3C] = m_flags[0x3E] = kSpecial;          // & < >
        for (int i = 0; i < 256; ++i) m_keep[i] = (m_flags[i] & kKeep) ? 1 : 0;
    }
};
const CByteTables g_tables;

// Sixteen bytes at a time: each test gives a mask in which bit j stands for
// byte j. SSE2 (every x86-64) does a test in a few instructions; elsewhere a
// plain loop gives the same masks.
const size_t kBlock = 16;

#if defined(__SSE2__)
typedef __m128i CBlock;
inline CBlock LoadBlock(const unsigned char* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
inline void StoreBlock(void* p, CBlock v) { _mm_storeu_si128(static_cast<__m128i*>(p), v); }
inline unsigned MaskOf(__m128i m) { return static_cast<unsigned>(_mm_movemask_epi8(m)); }
inline unsigned BytesEqual(CBlock v, char c) { return MaskOf(_mm_cmpeq_epi8(v, _mm_set1_epi8(c))); }
inline unsigned HighBytes(CBlock v) { return MaskOf(v); }
// Bytes below 0x21 (the compare is signed: bytes from 0x80 count too).
inline unsigned BytesBelow21(CBlock v) { return MaskOf(_mm_cmplt_epi8(v, _mm_set1_epi8(0x21))); }
// Bytes 0x81..0xFE, which are -127..-2 as signed bytes.
inline unsigned DoubleByteBytes(CBlock v) {
    return MaskOf(_mm_and_si128(_mm_cmpgt_epi8(v, _mm_set1_epi8(-128)), _mm_cmplt_epi8(v, _mm_set1_epi8(-1))));
}
// Both bits of each aligned pair A1 A1.
inline unsigned FullWidthPairs(CBlock v) {
    return MaskOf(_mm_cmpeq_epi16(v, _mm_set1_epi16(static_cast<short>(0xA1A1))));
}
#else
struct CBlock {
    unsigned char m_sz[kBlock];
};
inline CBlock LoadBlock(const unsigned char* p) {
    CBlock v;
    memcpy(v.m_sz, p, kBlock);
    return v;
}
inline void StoreBlock(void* p, const CBlock& v) { memcpy(p, v.m_sz, kBlock); }
template <class TTest>
inline unsigned MaskOf(const CBlock& v, TTest test) {
    unsigned m = 0;
    for (size_t j = 0; j < kBlock; ++j) m |= test(v.m_sz[j]) ? 1u << j : 0u;
    return m;
}
inline unsigned BytesEqual(const CBlock& v, char c) {
    return MaskOf(v, [c](unsigned char b) { return b == static_cast<unsigned char>(c); });
}
inline unsigned HighBytes(const CBlock& v) { return MaskOf(v, [](unsigned char b) { return b >= 0x80; }); }
inline unsigned BytesBelow21(const CBlock& v) {
    return MaskOf(v, [](unsigned char b) { return b < 0x21 || b >= 0x80; });
}
inline unsigned DoubleByteBytes(const CBlock& v) {
    return MaskOf(v, [](unsigned char b) { return b >= 0x81 && b <= 0xFE; });
}
inline unsigned FullWidthPairs(const CBlock& v) {
    unsigned m = 0;
    for (size_t j = 0; j < kBlock; j += 2) {
        if (v.m_sz[j] == 0xA1 && v.m_sz[j + 1] == 0xA1) m |= 3u << j;
    }
    return m;
}
#endif

// Index of the lowest set bit; a mask that may be empty is given bit 16.
inline size_t LowestBit(unsigned m) {
#if defined(__GNUC__)
    return static_cast<size_t>(__builtin_ctz(m));
#else
    size_t j = 0;
    while (!(m & 1u)) m >>= 1, ++j;
    return j;
#endif
}

// How many of the sixteen bytes, from the first on, are ASCII other than "&",
// "<" and ">": bytes whose fate needs no look at a neighbour.
inline size_t AsciiPrefix(const CBlock& v) {
    unsigned m = HighBytes(v) | BytesEqual(v, '&') | BytesEqual(v, '<') | BytesEqual(v, '>');
    return LowestBit(m | 1u << kBlock);
}

// How many of the sixteen bytes, from the first on, are whole double-byte
// characters other than the full-width space (an even count), when the first
// byte starts a character. Counts only pairs whose bytes are both 0x81..0xFE
// (each a lead byte, and a second byte too); may stop early.
inline size_t CharacterPrefix(const CBlock& v) {
    unsigned m = (~DoubleByteBytes(v) & 0xFFFFu) | FullWidthPairs(v);
    return LowestBit(m | 1u << kBlock) & ~size_t(1);
}

// Stores the first k of the bytes b at pOut, each after the kept ones before
// it, and returns how many are kept. Bytes that are not kept are stored too,
// to be written over by the next one. pOut may lie on b, not after it: each
// byte is read before a store can reach it.
inline size_t StoreKept(char* pOut, const unsigned char* b, size_t k, const uint8_t* keep) {
    size_t w = 0;
#if defined(__GNUC__)
#pragma GCC unroll 16
#endif
    for (size_t j = 0; j < k; ++j) {
        pOut[w] = static_cast<char>(b[j]);
        w += keep[b[j]];
    }
    return w;
}

inline size_t PositionOf(const unsigned char* p, const void* pFound, size_t nNone) {
    return pFound ? static_cast<size_t>(static_cast<const unsigned char*>(pFound) - p) : nNone;
}

// The state of the fast walk between its steps.
struct CReduceState {
    const unsigned char* m_pIn;
    char* m_pOut;  // the same bytes as m_pIn
    size_t m_nSize;
    size_t m_nRead = 0;
    size_t m_nWrite = 0;
    int m_nPending = -1;    // a lead byte waiting for the character's second byte
    bool m_bOutside = true;
    size_t m_nCloseAt = 0;  // inside markup: the next ">" at or after m_nRead, or the end
    size_t m_nWordFrom = 0; // the block tests are skipped before this position
};

// Blanks among the k ASCII bytes of v (read at p + i), and room behind: the
// runs between the blanks are copied sixteen bytes at a time from the input.
// Each store ends before any byte still to be read. Returns the new write
// position.
inline size_t CopyRunsBetweenBlanks(const unsigned char* pRead, char* pWrite, size_t w, CBlock v, size_t k) {
    unsigned nDrop = (BytesEqual(v, ' ') | BytesEqual(v, '\t') | BytesEqual(v, '\r') | BytesEqual(v, '\n')) &
                     ((1u << k) - 1);
    size_t nRun = 0;
    for (;;) {
        size_t nEnd = nDrop ? LowestBit(nDrop) : k;
        memcpy(pWrite + w, pRead + nRun, kBlock);
        w += nEnd - nRun;
        if (!nDrop) return w;
        nRun = nEnd + 1;
        nDrop &= nDrop - 1;
    }
}

// Visible text at i, whose first byte c is no "&", "<" or ">": takes the
// ASCII bytes or whole characters that open the next sixteen bytes. Returns
// false when the byte steps must take the byte at i. Once a byte is kept,
// bytes that are dropped may be written over; before that nothing is written.
inline bool TakeBlock(const CReduceState& s, unsigned c, size_t& i, size_t& w, size_t& nWordFrom) {
    CBlock v = LoadBlock(s.m_pIn + i);  // read before any of it is written
    bool bAscii = c < 0x80;
    size_t k = bAscii ? AsciiPrefix(v) : CharacterPrefix(v);
    unsigned nBlanks = bAscii ? BytesBelow21(v) & ((1u << k) - 1) : 0;
    if (k > 0 && nBlanks == 0 && (k == kBlock || i == w || i - w >= kBlock)) {
        StoreBlock(s.m_pOut + w, v);  // nothing to drop in the k bytes
        w += k;
        i += k;
        if (!bAscii && k < kBlock) nWordFrom = i + 1;  // the next byte failed the test
        return true;
    }
    if (!bAscii || w == 0) return false;
    if (k >= 8 && i - w >= kBlock && s.m_nSize - i >= 2 * kBlock) {
        w = CopyRunsBetweenBlanks(s.m_pIn + i, s.m_pOut, w, v, k);
    } else {
        // Each byte is stored, the write position moves past the kept ones.
        const unsigned char* b = s.m_pIn + i;
        w += k == kBlock ? StoreKept(s.m_pOut + w, b, kBlock, g_tables.m_keep)
                         : StoreKept(s.m_pOut + w, b, k, g_tables.m_keep);
    }
    i += k;
    return true;
}

// The byte at i of visible text with nothing waiting: a kept byte, a blank, a
// whole character, or "<". Returns false for a byte the byte step must take.
inline bool TakeTextByte(const CReduceState& s, unsigned c, size_t& i, size_t& w, bool& bOutside) {
    const unsigned char* p = s.m_pIn;
    unsigned f = g_tables.m_flags[c];
    if (f == kKeep) {
        s.m_pOut[w++] = static_cast<char>(c);
        ++i;
    } else if (f == 0) {
        ++i;  // a blank or tab with nothing waiting
    } else if ((f & kLeadBit) && i + 1 < s.m_nSize && g_tables.m_trail[p[i + 1]]) {
        unsigned t = p[i + 1];
        if (!(c == 0xA1 && t == 0xA1)) {
            s.m_pOut[w] = static_cast<char>(c);
            s.m_pOut[w + 1] = static_cast<char>(t);
            w += 2;
        }
        i += 2;
    } else if (c == '<') {
        ++i;
        bOutside = false;
    } else {
        return false;
    }
    return true;
}

// Visible text, while no lead byte waits: up to "<" (then inside markup) or
// a byte for the byte step. The positions live in locals here, where the
// stores through the output cannot make the compiler reload them.
inline void TakeText(CReduceState& s) {
    const unsigned char* p = s.m_pIn;
    const size_t n = s.m_nSize;
    size_t i = s.m_nRead, w = s.m_nWrite, nWordFrom = s.m_nWordFrom;
    bool bOutside = true;
    while (i < n && bOutside) {
        unsigned c = p[i];
        if (i >= nWordFrom && n - i >= kBlock && (g_tables.m_flags[c] & kSpecial) == 0) {
            if (TakeBlock(s, c, i, w, nWordFrom)) continue;
            nWordFrom = i + 1;  // the byte steps take this one
        }
        if (!TakeTextByte(s, c, i, w, bOutside)) break;
    }
    s.m_nRead = i;
    s.m_nWrite = w;
    s.m_nWordFrom = nWordFrom;
    s.m_bOutside = bOutside;
}

// Inside markup only the end of the tag matters: ">" or "&gt;" (neither can
// be the second byte of a character). Stops at a ">" (taken: outside again),
// at an "&" for the byte step, or at the end. Each ">" and each "&" is looked
// for once, so a tag full of "&" costs no more than any other.
inline void SkipMarkup(CReduceState& s) {
    const unsigned char* p = s.m_pIn;
    const size_t n = s.m_nSize;
    size_t i = s.m_nRead;
    // Most tags are short: a few blocks before memchr.
    size_t nNear = i + 64 < n ? i + 64 : n;
    while (nNear - i >= kBlock) {
        CBlock v = LoadBlock(p + i);
        unsigned m = BytesEqual(v, '>') | BytesEqual(v, '&');
        if (m) {
            i += LowestBit(m);  // the byte loop stops there at once
            break;
        }
        i += kBlock;
    }
    while (i < nNear && p[i] != '>' && p[i] != '&') ++i;
    if (i == nNear) {
        if (s.m_nCloseAt < i) s.m_nCloseAt = PositionOf(p, memchr(p + i, '>', n - i), n);
        i = PositionOf(p, memchr(p + i, '&', s.m_nCloseAt - i), s.m_nCloseAt);
    }
    if (i < n && p[i] == '>') {
        ++i;
        s.m_bOutside = true;
    }
    s.m_nRead = i;
}

// The fast paths, while no lead byte waits; they pass between text and
// markup at "<" and ">" and leave "&", a lead byte without its second byte
// and the end to the byte step.
inline void TakeFast(CReduceState& s) {
    for (;;) {
        bool bWasOutside = s.m_bOutside;
        if (bWasOutside) TakeText(s);
        else SkipMarkup(s);
        // Stopped for the byte step: at the end, or where neither path moved
        // on into the other.
        if (s.m_nRead >= s.m_nSize || s.m_bOutside == bWasOutside) return;
    }
}

// A byte of the step-2 text: "<" and ">" pass between text and markup, other
// bytes are written outside markup.
inline void Emit(CReduceState& s, unsigned char b) {
    if (b == '<') s.m_bOutside = false;
    else if (b == '>') s.m_bOutside = true;
    else if (s.m_bOutside) s.m_pOut[s.m_nWrite++] = static_cast<char>(b);
}

// Returns the length of the visible text written at the start of pBuf; 0
// when there is none (the input is then untouched).
size_t ReduceVisible(char* pBuf, size_t n) {
    CReduceState s;
    s.m_pIn = reinterpret_cast<const unsigned char*>(pBuf);
    s.m_pOut = pBuf;
    s.m_nSize = n;
    auto emit = [&s](unsigned char b) { Emit(s, b); };
    while (s.m_nRead < n) {
        if (s.m_nPending < 0) {
            TakeFast(s);
            if (s.m_nRead >= n) break;
        }
        s.m_nRead = PlainStep(s.m_pIn, s.m_nRead, n, s.m_nPending, emit);
    }
    if (s.m_nPending >= 0) Emit(s, static_cast<unsigned char>(s.m_nPending));
    return s.m_nWrite;
}

// Steps 1 and 2 over the text in its own buffer: the text without blanks.
// The plain step hands on at most as many bytes as it has read, so a byte is
// never written before it was read.
void MakeBareText(std::string& strText) {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(strText.data());
    char* pOut = &strText[0];
    const size_t n = strText.size();
    size_t w = 0;
    auto emit = [pOut, &w](unsigned char b) { pOut[w++] = static_cast<char>(b); };
    int nPending = -1;
    for (size_t i = 0; i < n;) i = PlainStep(p, i, n, nPending, emit);
    if (nPending >= 0) emit(static_cast<unsigned char>(nPending));
    strText.resize(w);
}

}  // namespace

std::string ExtractVisibleText(std::string strText) {
    if (strText.empty()) return strText;
    size_t nVisible = ReduceVisible(&strText[0], strText.size());
    // Nothing visible: the text is untouched, and its step-2 text is the
    // result (a page of markup only, made in place: such a page may be as
    // large as any other).
    if (nVisible == 0) MakeBareText(strText);
    else strText.resize(nVisible);
    return strText;
}

namespace {

// The bytes that stop ReductionKeeps' blocks: blanks, tabs, "<", ">", "&"
// (which is looked at more closely) and A1.
struct CKeepTable {
    bool m_bStop[256] = {};
    CKeepTable() {
        for (unsigned char c : {'\n', '\r', ' ', '\t', '<', '>', '&', '\xa1'}) m_bStop[c] = true;
    }
};
const CKeepTable g_keep;

// Sixteen bytes at a time: a mask of the bytes that stop the quick test.
inline unsigned StopBytes(const unsigned char* p) {
    CBlock v = LoadBlock(p);
    return (BytesBelow21(v) & ~HighBytes(v)) | BytesEqual(v, '<') | BytesEqual(v, '>') | BytesEqual(v, '&') |
           BytesEqual(v, '\xa1');
}

}  // namespace

// Steps 1 and 2 keep a text without blanks, tabs, references to brackets and
// full-width spaces; step 3 then keeps it when it has no brackets, and step 4
// gives it back when nothing in it stands outside markup.
bool ReductionKeeps(const std::string& strText) {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(strText.data());
    const size_t n = strText.size();
    bool bOutside = true, bVisible = false, bBracket = false;
    size_t i = 0;
    for (;;) {
        // Other bytes below 0x21 (controls the reduction keeps) also stop a
        // block: the byte test passes them.
        const size_t nFrom = i;
        while (i + kBlock <= n && StopBytes(p + i) == 0) i += kBlock;
        bVisible |= bOutside && i > nFrom;
        size_t nEnd = i + kBlock < n ? i + kBlock : n;
        for (; i < nEnd; ++i) {
            unsigned char c = p[i];
            if (c == '<' || c == '>') {
                bBracket = true;
                bOutside = c == '>';
                continue;
            }
            // A blank, a reference to a bracket, or A1 A1 (perhaps a
            // full-width space): the reduction may change the text.
            if (g_keep.m_bStop[c] &&
                (c == '&' ? ReadBracketRef(p, i, n) != 0 : c != 0xA1 || (i + 1 < n && p[i + 1] == 0xA1)))
                return false;
            bVisible |= bOutside;
        }
        if (bVisible && bBracket) return false;
        if (i >= n) return true;
    }
}
