#include "platform/TextUtil.h"

namespace {

bool IsOneOf(char c, const char* szBlanks) {
    if (c == '\0') return false;
    for (const char* p = szBlanks; *p; ++p) {
        if (*p == c) return true;
    }
    return false;
}

}  // namespace

bool EqualNoCaseAscii(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
    }
    return true;
}

std::string LowerCaseCp936(const std::string& strText) {
    std::string strLower(strText);
    for (size_t i = 0; i < strLower.size();) {
        size_t nLen = Cp936CharLen(strLower, i);
        if (nLen == 1) strLower[i] = AsciiLower(strLower[i]);
        i += nLen;
    }
    return strLower;
}

void TrimFront(const std::string& s, size_t& nBegin, size_t nEnd, const char* szBlanks) {
    while (nBegin < nEnd && IsOneOf(s[nBegin], szBlanks)) ++nBegin;
}

void TrimBack(const std::string& s, size_t nBegin, size_t& nEnd, const char* szBlanks) {
    while (nEnd > nBegin && IsOneOf(s[nEnd - 1], szBlanks)) --nEnd;
}

void TrimBounds(const std::string& s, size_t& nBegin, size_t& nEnd, const char* szBlanks) {
    TrimFront(s, nBegin, nEnd, szBlanks);
    TrimBack(s, nBegin, nEnd, szBlanks);
}

std::string Trimmed(const std::string& s, const char* szBlanks) {
    size_t nBegin = 0, nEnd = s.size();
    TrimBounds(s, nBegin, nEnd, szBlanks);
    return s.substr(nBegin, nEnd - nBegin);
}

int32_t ParseSettingNumber(const std::string& strText) {
    size_t i = 0;
    const size_t n = strText.size();
    while (i < n && (strText[i] == ' ' || (strText[i] >= '\t' && strText[i] <= '\r'))) ++i;
    bool bNegative = false;
    if (i < n && (strText[i] == '+' || strText[i] == '-')) bNegative = strText[i++] == '-';
    int64_t nValue = 0;
    for (; i < n && strText[i] >= '0' && strText[i] <= '9'; ++i) {
        // Beyond 2^31 the result is clamped anyway: stop growing there.
        if (nValue <= INT64_C(0x80000000)) nValue = nValue * 10 + (strText[i] - '0');
    }
    if (bNegative) nValue = -nValue;
    if (nValue > INT32_MAX) return INT32_MAX;
    if (nValue < INT32_MIN) return INT32_MIN;
    return static_cast<int32_t>(nValue);
}
