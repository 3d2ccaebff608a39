// The agreement of each fast text path with the plain walk that defines its
// result, byte for byte; used by the fuzz target FuzzFastPaths and by the
// unit tests.
#pragma once

#include <cstdint>
#include <string>

#include "http/CharSet.h"
#include "refresh/Judge.h"
#include "refresh/VisibleText.h"
#include "platform/CodePage.h"

// The name of the first pair that gives different results for strText (the
// tag search with the tags the service cuts and with strPattern), or nullptr
// when all agree.
inline const char* FastPathDisagreement(const std::string& strText, const std::string& strPattern) {
    const std::string strVisible = ExtractVisibleTextPlain(strText);
    if (ExtractVisibleText(strText) != strVisible) return "ExtractVisibleText";
    if (ReductionKeeps(strText) && strVisible != strText) return "ReductionKeeps";
    for (const std::string& strTag : {std::string("</script>"), std::string("<script "), std::string("</iframe>"),
                                      std::string("\xa1\xa1"), strPattern}) {
        if (FindOnCharStart(strText, strTag) != FindOnCharStartPlain(strText, strTag)) return "FindOnCharStart";
    }
    const uint32_t nLength = static_cast<uint32_t>(strText.size());
    if (CCharSet().IsUTF8(strText.data(), nLength) != IsUTF8Plain(strText.data(), nLength)) return "IsUTF8";
    std::string strFast = strText, strPlain = strText;
    bool bFast = platform::ConvertUtf8ToAnsi(strFast);
    bool bPlain = platform::ConvertUtf8ToAnsiPlain(strPlain);
    if (bFast != bPlain || strFast != strPlain) return "ConvertUtf8ToAnsi";
#if defined(_WIN32)
    for (size_t nPiece : {8, 13}) {
        strFast = strText;
        if (platform::ConvertUtf8ToAnsiInPieces(strFast, nPiece) != bPlain || strFast != strPlain)
            return "ConvertUtf8ToAnsiInPieces";
    }
#endif
    return nullptr;
}
