#include "config/TextUtil.h"

std::string LowerCaseCp936(const std::string& strText) {
    std::string strLower(strText);
    for (size_t i = 0; i < strLower.size();) {
        size_t nLen = Cp936CharLen(strLower, i);
        if (nLen == 1) strLower[i] = AsciiLower(strLower[i]);
        i += nLen;
    }
    return strLower;
}

int32_t ParseSettingNumber(const std::string& strText) {
    size_t i = 0;
    const size_t n = strText.size();
    while (i < n && IsAsciiSpace(strText[i])) ++i;
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
