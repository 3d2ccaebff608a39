// Telling UTF-8 text and converting it to the ANSI code page (936).
#pragma once

#include <cstdint>
#include <string>

class CCharSet {
public:
    CCharSet() = default;
    virtual ~CCharSet() = default;

    // 1 when the bytes pass the lead/continuation rules (see the docs), else 0:
    // the result of IsUTF8Plain below for every input, found faster.
    int IsUTF8(const void* pBytes, uint32_t nLength) const;
    // out receives the text converted from UTF-8 to the ANSI code page, up to
    // the first zero byte of in; the empty text when nothing converts.
    void UTF8ToANSI(std::string& strOut, std::string strIn) const;
};

// The UTF-8 test by one plain walk over the bytes: it defines the result of
// CCharSet::IsUTF8.
int IsUTF8Plain(const void* pBytes, uint32_t nLength);
