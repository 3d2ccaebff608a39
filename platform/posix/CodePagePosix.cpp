// Linux side of the code-page conversion: our own UTF-8 decoder, then code
// page 936 through a table of every BMP character built once with iconv.
// Characters the code page lacks become '?'; a character outside the Basic
// Multilingual Plane (two UTF-16 units on Windows) becomes "??".
#include <iconv.h>

#include <cstring>
#include <vector>

#include "platform/ByteLoad.h"
#include "platform/CodePage.h"
#include "platform/posix/Utf8Decode.h"

namespace platform {

namespace {

// For every BMP code point its code page 936 bytes: a value up to 0xFF is one
// byte, a larger value is lead byte * 256 + trail byte.
class CAnsiTable {
public:
    CAnsiTable() : m_codes(0x10000, static_cast<uint16_t>('?')) {
        for (uint32_t u = 0; u < 0x80; ++u) m_codes[u] = static_cast<uint16_t>(u);
        iconv_t cd = iconv_open("CP936", "UTF-16LE");
        if (cd == reinterpret_cast<iconv_t>(-1)) return;
        for (uint32_t u = 0x80; u < 0x10000; ++u) {
            if (u >= 0xD800 && u < 0xE000) continue;  // lone surrogates
            char in[2] = {static_cast<char>(u & 0xFF), static_cast<char>(u >> 8)};
            char out[8];
            char* pIn = in;
            char* pOut = out;
            size_t nIn = sizeof in;
            size_t nOut = sizeof out;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
            if (iconv(cd, &pIn, &nIn, &pOut, &nOut) == static_cast<size_t>(-1) || nIn != 0) continue;
            size_t nLen = static_cast<size_t>(pOut - out);
            const unsigned char* b = reinterpret_cast<const unsigned char*>(out);
            if (nLen == 1) m_codes[u] = b[0];
            else if (nLen == 2) m_codes[u] = static_cast<uint16_t>(b[0] << 8 | b[1]);
        }
        iconv_close(cd);
    }
    const uint16_t* Codes() const { return m_codes.data(); }

private:
    std::vector<uint16_t> m_codes;
};

const CAnsiTable& GetAnsiTable() {
    static const CAnsiTable table;
    return table;
}

// The text up to its first zero byte (the conversion stops there).
void CutAtZero(std::string& strText) {
    const void* pZero = memchr(strText.data(), 0, strText.size());
    if (pZero) strText.resize(static_cast<size_t>(static_cast<const char*>(pZero) - strText.data()));
}

// Writes the code page bytes of code point cp at w; returns the position
// after them.
inline char* PutAnsi(char* w, const uint16_t* table, uint32_t cp) {
    if (cp > 0xFFFF) {
        *w++ = '?';
        *w++ = '?';
        return w;
    }
    uint16_t nCode = table[cp];
    if (nCode > 0xFF) *w++ = static_cast<char>(nCode >> 8);
    *w++ = static_cast<char>(nCode & 0xFF);
    return w;
}

// Copies the ASCII bytes from p[i] on to w, eight at a time where it can.
// Returns the position of the first other byte (or n).
inline size_t CopyAscii(const unsigned char* p, size_t i, size_t n, char*& w) {
    while (n - i >= 8) {
        uint64_t nWord;
        memcpy(&nWord, p + i, 8);
        if ((nWord & 0x8080808080808080ull) != 0) break;
        memcpy(w, &nWord, 8);  // only bytes already read are written over
        w += 8;
        i += 8;
    }
    while (i < n && p[i] < 0x80) *w++ = static_cast<char>(p[i++]);
    return i;
}

// Chinese text is runs of three-byte characters (lead 1110xxxx and two
// continuation bytes 10xxxxxx), each tested as one word (the fourth byte read
// is not looked at). The leads E0 and ED, which have overlong and surrogate
// forms, are left to the decoder. Returns the position after the run.
inline size_t ConvertThreeByteRun(const unsigned char* p, size_t i, size_t n, char*& w, const uint16_t* table) {
    const size_t nStop = n > 3 ? n - 3 : 0;  // a four-byte load starts before it
    char* pOut = w;  // a local: the stores cannot make the compiler reload it
    for (; i < nStop; i += 3) {
        uint32_t nChar = LoadFour(p + i);
        if ((nChar & 0xC0C0F0u) != 0x8080E0u) break;
        unsigned nLead = nChar & 0xFFu;
        if (nLead == 0xE0 || nLead == 0xED) break;
        uint32_t u = (nChar & 0x0Fu) << 12 | (nChar >> 2 & 0xFC0u) | (nChar >> 16 & 0x3Fu);
        uint16_t nCode = table[u];
        if (nCode > 0xFF) *pOut++ = static_cast<char>(nCode >> 8);
        *pOut++ = static_cast<char>(nCode & 0xFF);
    }
    w = pOut;
    return i;
}

}  // namespace

// One character at a time through the decoder.
bool ConvertUtf8ToAnsiPlain(std::string& strText) {
    CutAtZero(strText);
    const unsigned char* p = reinterpret_cast<const unsigned char*>(strText.data());
    const uint16_t* table = GetAnsiTable().Codes();
    std::string strOut;
    for (size_t i = 0; i < strText.size();) {
        uint32_t cp;
        i += DecodeUtf8Char(p + i, strText.size() - i, cp);
        char sz[2];
        strOut.append(sz, static_cast<size_t>(PutAnsi(sz, table, cp) - sz));
    }
    strText.swap(strOut);
    return true;
}

// Converted in place: every sequence gives at most as many bytes as it uses,
// so the write position never passes the read position.
bool ConvertUtf8ToAnsi(std::string& strText) {
    CutAtZero(strText);
    size_t n = strText.size();
    if (n == 0) return true;
    // A plain pointer: the stores through char pointers below could
    // otherwise make the compiler read the vector's pointer anew each time.
    const uint16_t* table = GetAnsiTable().Codes();
    char* w = &strText[0];
    const unsigned char* p = reinterpret_cast<const unsigned char*>(w);
    size_t i = 0;
    while (i < n) {
        i = CopyAscii(p, i, n, w);
        if (i < n) i = ConvertThreeByteRun(p, i, n, w, table);
        if (i == n || p[i] < 0x80) continue;  // back to the ASCII path
        uint32_t cp;
        i += DecodeUtf8Char(p + i, n - i, cp);
        w = PutAnsi(w, table, cp);
    }
    strText.resize(static_cast<size_t>(w - strText.data()));
    return true;
}

}  // namespace platform
