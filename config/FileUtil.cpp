#include "config/FileUtil.h"

#include "config/Cp936.h"
#include "platform/Platform.h"

std::string GetModuleDir() {
    // The Windows call itself keeps the name within the 260-byte path limit;
    // a longer Linux path is taken whole rather than cut into a wrong one.
    std::string strPath = platform::GetModulePath();
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
    return nKind == 1 ? nDirFlag != 0 : nDirFlag == 0;
}

int WriteTextFile(const std::string& strPath, std::string strText, int nLineEnd, int nAppend) {
    if (strPath.empty()) return 0;
    if (nLineEnd) strText += '\n';
    // Text mode: every line feed goes to the file as carriage return + line feed.
    std::string strBytes;
    strBytes.reserve(strText.size() + 16);
    for (char c : strText) {
        if (c == '\n') strBytes += '\r';
        strBytes += c;
    }
    return platform::WriteFileBytes(strPath, strBytes, nAppend != 0) ? 1 : 0;
}
