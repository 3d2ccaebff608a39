// The page is reduced in one walk that does all four steps at once:
//  1. "&lt;" and "&gt;" are read as "<" and ">" (no other reference is
//     touched);
//  2. line feeds, carriage returns and spaces are dropped; then, walking the
//     rest as code page 936 characters, full-width spaces (A1 A1) and tabs are
//     dropped. Bytes below 0x40 are never part of a double-byte character, so
//     the first three can go byte by byte, but they must go before the
//     characters are paired: B0 20 A1 A1 pairs as B0, A1 A1, while tabs stay
//     until the pairing is done: B0 09 A1 A1 keeps B0 only;
//  3. everything from a "<" to the next ">" is left out, the brackets too;
//  4. when nothing is left but the text of step 2 was not empty, the text of
//     step 2 is the result.
// Both the result and the step-2 text are written over the input in place
// (the write position never passes the read position). When nothing visible
// was found nothing has been written, so the input is still whole for the
// second walk that makes the step-2 text.
#include "refresh/VisibleText.h"

#include <cstdint>

namespace {

enum : uint8_t { kPlain, kDropped, kTab, kAmp, kOpen, kClose, kLead };

struct CByteClasses {
    uint8_t m_cls[256];
    CByteClasses() {
        for (int i = 0; i < 256; ++i) m_cls[i] = (i >= 0x81 && i <= 0xFE) ? kLead : kPlain;
        m_cls['\n'] = m_cls['\r'] = m_cls[' '] = kDropped;
        m_cls['\t'] = kTab;
        m_cls['&'] = kAmp;
        m_cls['<'] = kOpen;
        m_cls['>'] = kClose;
    }
};
const CByteClasses g_classes;

inline bool IsTrailByte(unsigned char c) { return c >= 0x40 && c <= 0xFE && c != 0x7F; }

// Reads "&lt;" or "&gt;" at p[i] ('&'); 0 when neither stands there.
inline unsigned char ReadBracketRef(const unsigned char* p, size_t i, size_t n) {
    if (n - i < 4 || p[i + 2] != 't' || p[i + 3] != ';') return 0;
    if (p[i + 1] == 'l') return '<';
    if (p[i + 1] == 'g') return '>';
    return 0;
}

// bVisible: keep only the bytes outside markup (steps 1 to 3); otherwise make
// the step-2 text. Returns the length written at the start of pBuf.
template <bool bVisible>
size_t Reduce(char* pBuf, size_t n) {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(pBuf);
    const uint8_t* cls = g_classes.m_cls;
    size_t w = 0;
    size_t i = 0;
    int nPending = -1;  // a lead byte waiting for the character's second byte
    bool bOutside = true;

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
        unsigned char c = p[i];
        if (bVisible && nPending < 0) {
            if (bOutside) {
                if (cls[c] == kPlain) {
                    pBuf[w++] = static_cast<char>(c);
                    ++i;
                    continue;
                }
            } else {
                // Inside markup only the end of the tag matters: ">" or
                // "&gt;" (neither can be the second byte of a character).
                while (i < n && p[i] != '>' && p[i] != '&') ++i;
                if (i == n) break;
                c = p[i];
            }
        }
        unsigned char t = c;
        ++i;
        switch (cls[c]) {
        case kDropped:
            continue;  // taken out before characters are paired
        case kAmp: {
            unsigned char r = ReadBracketRef(p, i - 1, n);
            if (r) {
                t = r;
                i += 3;
            }
            break;
        }
        default:
            break;
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
        if (t >= 0x81 && t <= 0xFE) {
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
    if (strText.empty()) return strText;
    size_t nVisible = Reduce<true>(&strText[0], strText.size());
    if (nVisible == 0) nVisible = Reduce<false>(&strText[0], strText.size());
    strText.resize(nVisible);
    return strText;
}
