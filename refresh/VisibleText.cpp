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

#include <cstdint>
#include <cstring>

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
            m_flags[i] = (i >= 0x81 && i <= 0xFE) ? (kLeadBit | kKeep) : kKeep;
            m_trail[i] = (i >= 0x40 && i <= 0xFE && i != 0x7F) ? 1 : 0;
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

// Eight bytes at a time. Each test below sets the high bit of a byte (or of a
// two-byte lane) that may hold what it looks for; a borrow only runs towards
// later bytes, so a test never misses one and its first flag is a true one.
const uint64_t kOnes = 0x0101010101010101ull;
const uint64_t kHigh = 0x8080808080808080ull;

inline uint64_t Load8(const unsigned char* p) {
    uint64_t x;
    memcpy(&x, p, 8);
    return x;
}
inline uint64_t ZeroBytes(uint64_t v) { return (v - kOnes) & ~v & kHigh; }
inline uint64_t BytesEqual(uint64_t x, unsigned char c) { return ZeroBytes(x ^ (kOnes * c)); }
inline uint64_t BytesBelow(uint64_t x, unsigned char c) { return (x - kOnes * c) & ~x & kHigh; }

#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
const bool kWordPaths = true;
// Index (in memory order) of the first flagged byte of a non-zero mask.
inline size_t FirstFlagged(uint64_t m) { return static_cast<size_t>(__builtin_ctzll(m)) >> 3; }
#else
const bool kWordPaths = false;  // the byte loops do all the work
inline size_t FirstFlagged(uint64_t) { return 0; }
#endif

// How many of the eight bytes of x, from the first on, are ASCII other than
// "&", "<" and ">" (0 to 8): bytes whose fate needs no look at a neighbour.
inline size_t AsciiPrefix(uint64_t x) {
    uint64_t m = (x & kHigh) | BytesEqual(x, '&') | BytesEqual(x, '<') | BytesEqual(x, '>');
    return m == 0 ? 8 : FirstFlagged(m);
}

// How many of the eight bytes of x, from the first on, are whole double-byte
// characters other than the full-width space (0, 2, 4, 6 or 8), when the
// first byte starts a character. Counts only pairs whose bytes are both
// 0x81..0xFE (each a lead byte, and a second byte too); may stop early.
inline size_t CharacterPrefix(uint64_t x) {
    const uint64_t kOnes16 = 0x0001000100010001ull, kHigh16 = 0x8000800080008000ull;
    uint64_t v = x ^ 0xA1A1A1A1A1A1A1A1ull;
    uint64_t m = (~x & kHigh) | BytesEqual(x, 0x80) | BytesEqual(x, 0xFF) | ((v - kOnes16) & ~v & kHigh16);
    return m == 0 ? 8 : FirstFlagged(m) & ~size_t(1);
}

// Stores the first k bytes of x (in memory order) at pOut, each after the
// kept ones before it, and returns how many are kept. Bytes that are not kept
// are stored too, to be written over by the next one.
inline size_t StoreKept(char* pOut, uint64_t x, size_t k, const uint8_t* keep) {
    size_t w = 0;
#if defined(__GNUC__)
#pragma GCC unroll 8
#endif
    for (size_t j = 0; j < k; ++j) {
        unsigned char b = static_cast<unsigned char>(x >> (8 * j));
        pOut[w] = static_cast<char>(b);
        w += keep[b];
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
                    if (kWordPaths && i >= nWordFrom && n - i >= 8 && (f & kSpecial) == 0) {
                        // The bytes are read before any is written. Every
                        // store lands at or before the byte it copies, or the
                        // bytes after the k taken are written over themselves
                        // or over bytes already read.
                        uint64_t x = Load8(p + i);
                        bool bAscii = c < 0x80;
                        size_t k = bAscii ? AsciiPrefix(x) : CharacterPrefix(x);
                        uint64_t nBlanks = bAscii ? BytesBelow(x, 0x21) : 0;
                        if (k > 0 && (nBlanks == 0 || FirstFlagged(nBlanks) >= k) &&
                            (k == 8 || i == w || i - w >= 8)) {
                            memcpy(pBuf + w, &x, 8);  // nothing to drop in the k bytes
                            w += k;
                            i += k;
                            if (!bAscii && k < 8) nWordFrom = i + 1;  // the next byte failed the test
                            continue;
                        }
                        if (bAscii && w > 0) {
                            // Blanks among them: each byte is stored, the
                            // write position moves on past the kept ones only
                            // (once a byte is kept: before that nothing may
                            // be written).
                            w += k == 8 ? StoreKept(pBuf + w, x, 8, keep) : StoreKept(pBuf + w, x, k, keep);
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
                // Most tags are short: look at a few words before calling
                // memchr.
                size_t nNear = i + 32 < n ? i + 32 : n;
                while (kWordPaths && nNear - i >= 8) {
                    uint64_t x = Load8(p + i);
                    uint64_t m = BytesEqual(x, '>') | BytesEqual(x, '&');
                    if (m) {
                        i += FirstFlagged(m);  // the byte loop stops there at once
                        break;
                    }
                    i += 8;
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
