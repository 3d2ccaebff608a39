// The page is reduced in one walk that does all four steps at once:
//  1. "&lt;" and "&gt;" are read as "<" and ">" (no other reference is
//     touched);
//  2. line feeds, carriage returns and spaces are dropped; then, walking the
//     rest as code page 936 characters, full-width spaces (A1 A1) and tabs are
//     dropped. Bytes below 0x40 are never part of a double-byte character, so
//     the first three can go byte by byte, but they must go before the
//     characters are paired (B0 20 A1 A1 becomes B0 A1, A1 and keeps its
//     bytes), while tabs stay until the pairing is done (B0 09 A1 A1 pairs
//     as B0, tab, A1 A1 and keeps B0 only);
//  3. everything from a "<" to the next ">" is left out, the brackets too;
//  4. when nothing is left but the text of step 2 was not empty, the text of
//     step 2 is the result.
// Both the result and the step-2 text are written over the input in place
// (the write position never passes the read position). Nothing is written
// before the first visible byte, so when none is found the input is still
// whole for the second walk that makes the step-2 text.
#include "refresh/VisibleText.h"

#include "platform/TextUtil.h"

#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

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

inline bool IsTrailByte(unsigned char c) { return g_tables.m_trail[c] != 0; }
inline bool IsLeadByte(unsigned char c) { return (g_tables.m_flags[c] & kLeadBit) != 0; }

// Reads "&lt;" or "&gt;" at p[i] ('&'); 0 when neither stands there.
inline unsigned char ReadBracketRef(const unsigned char* p, size_t i, size_t n) {
    if (n - i < 4 || p[i + 2] != 't' || p[i + 3] != ';') return 0;
    if (p[i + 1] == 'l') return '<';
    if (p[i + 1] == 'g') return '>';
    return 0;
}

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

// bVisible: keep only the bytes outside markup (steps 1 to 3); otherwise make
// the step-2 text. Returns the length written at the start of pBuf.
template <bool bVisible>
size_t Reduce(char* pBuf, size_t n) {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(pBuf);
    const uint8_t* flags = g_tables.m_flags;
    const uint8_t* trail = g_tables.m_trail;
    const uint8_t* keep = g_tables.m_keep;
    size_t w = 0;
    size_t i = 0;
    int nPending = -1;  // a lead byte waiting for the character's second byte
    bool bOutside = true;
    size_t nCloseAt = 0;  // inside markup: the next ">" at or after i, or n
    size_t nWordFrom = 0;  // the word tests are skipped before this position

    auto emit = [&](unsigned char b) {
        if (!bVisible) {
            pBuf[w++] = static_cast<char>(b);
        } else if (b == '<') {
            bOutside = false;
        } else if (b == '>') {
            bOutside = true;
        } else if (bOutside) {
            pBuf[w++] = static_cast<char>(b);
        }
    };

    while (i < n) {
        // The fast paths run while no lead byte waits; they pass between text
        // and markup themselves at "<" and ">" and leave "&", a lead byte
        // without its second byte and the end to the byte-by-byte step below.
        while (bVisible && nPending < 0 && i < n) {
            if (bOutside) {
                // Visible text: ASCII and whole characters eight bytes at a
                // time where the word tests allow, else byte by byte; blanks
                // go while no lead byte waits.
                while (i < n) {
                    unsigned c = p[i];
                    unsigned f = flags[c];
                    if (i >= nWordFrom && n - i >= kBlock && (f & kSpecial) == 0) {
                        // The bytes are read before any is written. Every
                        // store lands at or before the byte it copies, or the
                        // bytes after the k taken are written over themselves
                        // or over bytes already read.
                        CBlock v = LoadBlock(p + i);
                        bool bAscii = c < 0x80;
                        size_t k = bAscii ? AsciiPrefix(v) : CharacterPrefix(v);
                        unsigned nBlanks = bAscii ? BytesBelow21(v) & ((1u << k) - 1) : 0;
                        if (k > 0 && nBlanks == 0 && (k == kBlock || i == w || i - w >= kBlock)) {
                            StoreBlock(pBuf + w, v);  // nothing to drop in the k bytes
                            w += k;
                            i += k;
                            if (!bAscii && k < kBlock) nWordFrom = i + 1;  // the next byte failed the test
                            continue;
                        }
                        if (bAscii && k >= 8 && w > 0 && i - w >= kBlock && n - i >= 2 * kBlock) {
                            // Blanks among them, and room behind: the runs
                            // between the blanks are copied sixteen bytes at
                            // a time from the input (each store ends before
                            // any byte still to be read; once a byte is kept:
                            // before that nothing may be written).
                            unsigned nDrop = (BytesEqual(v, ' ') | BytesEqual(v, '\t') | BytesEqual(v, '\r') |
                                              BytesEqual(v, '\n')) & ((1u << k) - 1);
                            size_t nRun = 0;
                            for (;;) {
                                size_t nEnd = nDrop ? LowestBit(nDrop) : k;
                                memcpy(pBuf + w, p + i + nRun, kBlock);
                                w += nEnd - nRun;
                                if (!nDrop) break;
                                nRun = nEnd + 1;
                                nDrop &= nDrop - 1;
                            }
                            i += k;
                            continue;
                        }
                        if (bAscii && w > 0) {
                            // Blanks among them: each byte is stored, the
                            // write position moves on past the kept ones only
                            // (once a byte is kept: before that nothing may
                            // be written).
                            const unsigned char* b = p + i;
                            w += k == kBlock ? StoreKept(pBuf + w, b, kBlock, keep) : StoreKept(pBuf + w, b, k, keep);
                            i += k;
                            continue;
                        }
                        nWordFrom = i + 1;  // the byte steps take this one
                    }
                    if (f == kKeep) {
                        pBuf[w++] = static_cast<char>(c);
                        ++i;
                    } else if (f == 0) {
                        ++i;  // a blank or tab with nothing waiting
                    } else if ((f & kLeadBit) && i + 1 < n && trail[p[i + 1]]) {
                        unsigned t = p[i + 1];
                        if (!(c == 0xA1 && t == 0xA1)) {
                            pBuf[w] = static_cast<char>(c);
                            pBuf[w + 1] = static_cast<char>(t);
                            w += 2;
                        }
                        i += 2;
                    } else if (c == '<') {
                        ++i;
                        bOutside = false;
                        break;
                    } else {
                        break;
                    }
                }
                if (bOutside) break;
            } else {
                // Inside markup only the end of the tag matters: ">" or
                // "&gt;" (neither can be the second byte of a character).
                // Each ">" and each "&" is looked for once, so a tag full of
                // "&" costs no more than any other.
                // Most tags are short: look at a few blocks before calling
                // memchr.
                size_t nNear = i + 64 < n ? i + 64 : n;
                while (nNear - i >= kBlock) {
                    unsigned m = BytesEqual(LoadBlock(p + i), '>') | BytesEqual(LoadBlock(p + i), '&');
                    if (m) {
                        i += LowestBit(m);  // the byte loop stops there at once
                        break;
                    }
                    i += kBlock;
                }
                while (i < nNear && p[i] != '>' && p[i] != '&') ++i;
                if (i == nNear) {
                    if (nCloseAt < i) nCloseAt = PositionOf(p, memchr(p + i, '>', n - i), n);
                    i = PositionOf(p, memchr(p + i, '&', nCloseAt - i), nCloseAt);
                }
                if (i == n || p[i] != '>') break;
                ++i;
                bOutside = true;
            }
        }
        if (i >= n) break;
        unsigned char c = p[i];
        unsigned char t = c;
        ++i;
        if (c == '\n' || c == '\r' || c == ' ') continue;  // gone before characters are paired
        if (c == '&') {
            unsigned char r = ReadBracketRef(p, i - 1, n);
            if (r) {
                t = r;
                i += 3;
            }
        }
        if (nPending >= 0) {
            unsigned char lead = static_cast<unsigned char>(nPending);
            nPending = -1;
            if (IsTrailByte(t)) {
                if (!(lead == 0xA1 && t == 0xA1)) {
                    emit(lead);
                    emit(t);
                }
                continue;
            }
            emit(lead);
        }
        if (IsLeadByte(t)) {
            nPending = t;
        } else if (t != '\t') {
            emit(t);
        }
    }
    if (nPending >= 0) emit(static_cast<unsigned char>(nPending));
    return w;
}

}  // namespace

std::string ExtractVisibleText(std::string strText) {
    size_t n = strText.size();
    if (n == 0) return strText;
    size_t nVisible = Reduce<true>(&strText[0], n);
    if (nVisible == 0) nVisible = Reduce<false>(&strText[0], n);
    strText.resize(nVisible);
    return strText;
}
