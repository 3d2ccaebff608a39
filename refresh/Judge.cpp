#include "refresh/Judge.h"

#include "config/Cp936.h"
#include "http/CharSet.h"
#include "log/LogWriter.h"
#include "refresh/VisibleText.h"

const char* const kMarker404 = "(404)";
const char* const kMarkerNoServer = "(\xce\xde\xb7\xa8\xc1\xac\xbd\xd3\xb5\xbd\xb7\xfe\xce\xf1\xc6\xf7)";  // (无法连接到服务器)
const char* const kMarkerNoData = "(\xce\xde\xca\xfd\xbe\xdd)";  // (无数据)

namespace {

// First occurrence of strPattern in strText that begins on a code page 936
// character, or npos. Candidates come from a plain byte search; whether one
// begins on a character is decided by a walk that only moves forward, so the
// whole search stays linear in the text.
size_t FindOnCharStart(const std::string& strText, const std::string& strPattern) {
    if (strPattern.empty()) return 0;
    // A byte below 0x40 is never the second byte of a character: every
    // occurrence of a pattern that starts with one begins on a character.
    if (static_cast<unsigned char>(strPattern[0]) < 0x40) return strText.find(strPattern);
    size_t nWalk = 0;  // always the start of a character
    size_t nFrom = 0;
    for (;;) {
        size_t nAt = strText.find(strPattern, nFrom);
        if (nAt == std::string::npos) return nAt;
        while (nWalk < nAt) nWalk += Cp936CharLen(strText, nWalk);
        if (nWalk == nAt) return nAt;
        nFrom = nWalk;  // nAt was the second byte of a character
    }
}

}  // namespace

void ReplaceTagContent(std::string& strText, const std::string& strStartTag,
                       const std::string& strEndTag, const std::string& strReplacement) {
    size_t nStart = FindOnCharStart(strText, strStartTag);
    size_t nEnd = FindOnCharStart(strText, strEndTag);
    if (nEnd == std::string::npos) return;  // no end tag: nothing to cut
    std::string strResult;
    if (nStart != std::string::npos) {
        size_t nKeep = nStart + strStartTag.size();
        strResult.reserve(nKeep + strReplacement.size() + (strText.size() - nEnd));
        strResult.append(strText, 0, nKeep);
    } else {
        strResult.reserve(nEnd + strStartTag.size() + strReplacement.size() + (strText.size() - nEnd));
        strResult.append(strText, 0, nEnd);
        strResult += strStartTag;
    }
    strResult += strReplacement;
    strResult.append(strText, nEnd, std::string::npos);
    strText.swap(strResult);
}

void JudgeAnswer(int nStatus, std::string& strText, int nLogOn, CLogWriter& logWriter,
                 CCharSet& charSet) {
    static const std::string strScriptStart = "<script ";
    static const std::string strScriptEnd = "</script>";
    static const std::string strFrameStart = "<iframe ";
    static const std::string strFrameEnd = "</iframe>";
    static const std::string strCut = ">";

    // The blocks are cut from the raw answer, before any conversion.
    if (FindOnCharStart(strText, strScriptEnd) != std::string::npos)
        ReplaceTagContent(strText, strScriptStart, strScriptEnd, strCut);
    if (FindOnCharStart(strText, strFrameEnd) != std::string::npos)
        ReplaceTagContent(strText, strFrameStart, strFrameEnd, strCut);

    if (charSet.IsUTF8(strText.data(), static_cast<uint32_t>(strText.size())))
        charSet.UTF8ToANSI(strText, strText);

    // The markers are set last, so the body has no say for 404 and 0.
    if (nStatus == 404) strText = kMarker404;
    else if (nStatus == 0) strText = kMarkerNoServer;
    else strText = ExtractVisibleText(std::move(strText));
    if (strText.empty()) strText = kMarkerNoData;

    if (nLogOn) logWriter.WriteDailyLog(nStatus, strText);
    logWriter.WriteCache(nStatus, strText);
}
