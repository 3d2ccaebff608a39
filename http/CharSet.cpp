#include "http/CharSet.h"

#include <cstring>

#include "platform/ByteLoad.h"
#include "platform/CodePage.h"

// Only lead and continuation bytes are checked: overlong forms and encoded
// surrogates pass, a sequence cut off by the end of the run passes, and any
// byte from 0xF0 up (four-byte sequences included) fails.
int IsUTF8Plain(const void* pBytes, uint32_t nLength) {
    const unsigned char* p = static_cast<const unsigned char*>(pBytes);
    uint32_t i = 0;
    while (i < nLength) {
        unsigned c = p[i];
        if ((c >= 0x80 && c < 0xC0) || c >= 0xF0) return 0;
        uint32_t nCont = c < 0x80 ? 0 : c < 0xE0 ? 1 : 2;  // continuation bytes the lead needs
        if (nLength - i <= nCont) return 1;                 // cut off by the end
        for (uint32_t k = 1; k <= nCont; ++k) {
            if ((p[i + k] & 0xC0) != 0x80) return 0;
        }
        i += 1 + nCont;
    }
    return 1;
}

// The same rules as IsUTF8Plain, with ASCII eight bytes at a time and runs
// of three-byte characters one four-byte load each.
int CCharSet::IsUTF8(const void* pBytes, uint32_t nLength) const {
    const unsigned char* p = static_cast<const unsigned char*>(pBytes);
    const unsigned char* pEnd = p + nLength;
    while (p < pEnd) {
        // Plain ASCII eight bytes at a time.
        if (pEnd - p >= 8) {
            uint64_t nWord;
            memcpy(&nWord, p, 8);
            if ((nWord & 0x8080808080808080ull) == 0) {
                p += 8;
                continue;
            }
            while (*p < 0x80) ++p;  // up to the non-ASCII byte of the eight
        }
        unsigned char c = *p;
        if (c < 0x80) {
            ++p;
        } else if (c < 0xC0) {
            return 0;
        } else if (c < 0xE0) {
            if (pEnd - p < 2) return 1;
            if ((p[1] & 0xC0) != 0x80) return 0;
            p += 2;
        } else if (c < 0xF0) {
            if (pEnd - p < 3) return 1;
            if ((p[1] & 0xC0) != 0x80 || (p[2] & 0xC0) != 0x80) return 0;
            p += 3;
            // Chinese text is runs of three-byte characters: lead 1110xxxx
            // and two continuation bytes 10xxxxxx, tested as one word (the
            // fourth byte read is not looked at).
            while (pEnd - p >= 4) {
                uint32_t nChar = LoadFour(p);
                if ((nChar & 0xC0C0F0u) != 0x8080E0u) break;
                p += 3;
            }
        } else {
            return 0;
        }
    }
    return 1;
}

void CCharSet::UTF8ToANSI(std::string& strOut, std::string strIn) const {
    strOut.clear();
    if (strIn.empty()) return;
    if (platform::ConvertUtf8ToAnsi(strIn)) strOut.swap(strIn);
}
