#include "config/FileUtil.h"

#include <cstring>
#include <utility>

#include "config/TextUtil.h"
#include "platform/Env.h"
#include "platform/Platform.h"

std::string GetModuleDir() {
    // The Windows call itself keeps the name within the 260-byte path limit;
    // a longer Linux path is taken whole rather than cut into a wrong one.
    std::string strPath = GetEnv().ExecutablePath();
    if (!strPath.empty() && strPath.back() == platform::kPathSep) return strPath;
    size_t nCut = std::string::npos;
    for (size_t i = 0; i < strPath.size(); i += Cp936CharLen(strPath, i)) {
        if (strPath[i] == platform::kPathSep) nCut = i;
    }
    if (nCut == std::string::npos) return std::string();
    return strPath.substr(0, nCut + 1);
}

bool PathExists(const std::string& strPath, int nDirFlag) {
    int nKind = platform::GetPathKind(strPath);
    if (nKind < 0) return false;
    return nKind == 1 ? nDirFlag != kPathIsFile : nDirFlag == kPathIsFile;
}

std::string MakeTextFileBytes(std::string strText, bool bLineEnd) {
    // Text mode: every line feed goes to the file as carriage return + line
    // feed. A text without one is kept as it is; otherwise the runs between
    // line feeds are copied whole into a buffer counted beforehand.
    const char* p = strText.data();
    const char* pEnd = p + strText.size();
    const char* pFeed = static_cast<const char*>(memchr(p, '\n', strText.size()));
    if (pFeed == nullptr) {
        if (bLineEnd) strText += "\r\n";
        return strText;
    }
    auto nextFeed = [pEnd](const char* pFrom) {
        return static_cast<const char*>(memchr(pFrom, '\n', static_cast<size_t>(pEnd - pFrom)));
    };
    size_t nFeeds = 0;
    for (const char* q = pFeed; q; q = nextFeed(q + 1)) ++nFeeds;
    std::string strBytes;
    strBytes.reserve(strText.size() + nFeeds + 2);
    for (const char* q = pFeed; q; q = nextFeed(p)) {
        strBytes.append(p, static_cast<size_t>(q - p));
        strBytes += "\r\n";
        p = q + 1;
    }
    strBytes.append(p, static_cast<size_t>(pEnd - p));
    if (bLineEnd) strBytes += "\r\n";
    return strBytes;
}

int WriteTextFile(const std::string& strPath, std::string strText, int nLineEnd, int nAppend) {
    if (strPath.empty()) return 0;
    return platform::WriteFileBytes(strPath, MakeTextFileBytes(std::move(strText), nLineEnd != 0),
                                    nAppend != 0 ? platform::kFileAppend : platform::kFileReplace)
               ? 1
               : 0;
}
