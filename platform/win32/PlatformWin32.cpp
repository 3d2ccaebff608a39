// Windows side of the basic seam: files, the executable's path and the clock.
#include <windows.h>
#include <shellapi.h>

#include <cstring>

#include "platform/Platform.h"

namespace platform {

const char kPathSep = '\\';

std::string GetExecutablePath() {
    char szPath[MAX_PATH] = {0};
    DWORD dwLen = GetModuleFileNameA(nullptr, szPath, MAX_PATH);
    // A cut name may lack its terminating zero: take the length reported.
    if (dwLen > MAX_PATH) dwLen = MAX_PATH;
    return std::string(szPath, strnlen(szPath, dwLen));
}

int GetPathKind(const std::string& strPath) {
    DWORD dwAttr = GetFileAttributesA(strPath.c_str());
    if (dwAttr == INVALID_FILE_ATTRIBUTES) return -1;
    return (dwAttr & FILE_ATTRIBUTE_DIRECTORY) ? 1 : 0;
}

SFileStamp GetFileStamp(const std::string& strPath) {
    SFileStamp stamp;
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (strPath.empty() || !GetFileAttributesExA(strPath.c_str(), GetFileExInfoStandard, &data)) return stamp;
    stamp.nModTime = static_cast<int64_t>((static_cast<uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) |
                                          data.ftLastWriteTime.dwLowDateTime);
    stamp.nSize = static_cast<int64_t>((static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow);
    return stamp;
}

bool CreateDir(const std::string& strPath) {
    return CreateDirectoryA(strPath.c_str(), nullptr) != 0;
}

bool DeleteFileSilently(const std::string& strPath) {
    if (strPath.empty() || strPath.size() > MAX_PATH - 2) return false;
    char szFrom[MAX_PATH] = {0};  // the shell's list form: two zero bytes at the end
    memcpy(szFrom, strPath.data(), strPath.size());
    SHFILEOPSTRUCTA op;
    memset(&op, 0, sizeof op);
    op.wFunc = FO_DELETE;
    op.pFrom = szFrom;
    op.fFlags = FOF_SILENT | FOF_NOCONFIRMATION;
    if (SHFileOperationA(&op) == 0) return true;
    return DeleteFileA(strPath.c_str()) != 0;
}

namespace {

// 1 when all bytes were written, 0 when the write failed part way (and was
// taken back), -1 when the file could not be opened.
int WriteToHandle(const std::string& strPath, std::string_view bytes, bool bAppend, DWORD dwDisposition) {
    // Plain write access (not append-only data access), so that a write cut
    // short can be undone with SetEndOfFile; an append starts at the end.
    HANDLE h = CreateFileA(strPath.c_str(), GENERIC_WRITE,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           dwDisposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return -1;
    LARGE_INTEGER nStart;
    nStart.QuadPart = 0;
    LARGE_INTEGER nZero;
    nZero.QuadPart = 0;
    bool bWhole = !bAppend || SetFilePointerEx(h, nZero, &nStart, FILE_END) != 0;
    // One call for the record (a page text stays far below the 4 GiB that
    // one call can take); the loop only goes on after a short write.
    const char* p = bytes.data();
    size_t nLeft = bytes.size();
    while (bWhole && nLeft > 0) {
        DWORD dwChunk = nLeft > 0x40000000u ? 0x40000000u : static_cast<DWORD>(nLeft);
        DWORD dwWritten = 0;
        if (!WriteFile(h, p, dwChunk, &dwWritten, nullptr) || dwWritten == 0) bWhole = false;
        p += dwWritten;
        nLeft -= dwWritten;
    }
    // A record cut short (disk full) is taken back whole: the file ends
    // where it ended before this call. A text written over an older one from
    // the start ends where the new text ends.
    if (!bWhole && SetFilePointerEx(h, nStart, nullptr, FILE_BEGIN)) SetEndOfFile(h);
    if (bWhole && !bAppend && !SetEndOfFile(h)) bWhole = false;
    if (!CloseHandle(h)) bWhole = false;
    return bWhole ? 1 : 0;
}

// Writes the bytes as WriteFileRecord does.
bool WriteWhole(const std::string& strPath, std::string_view bytes, EFileWrite eHow) {
    if (eHow == kFileAppend) return WriteToHandle(strPath, bytes, true, OPEN_ALWAYS) == 1;
    if (eHow == kFileOverwrite) return WriteToHandle(strPath, bytes, false, OPEN_ALWAYS) == 1;
    // A replacement: a file beside it, moved over it. Where that cannot be
    // done, the file is rewritten in place.
    DWORD dwAttr = GetFileAttributesA(strPath.c_str());
    if (dwAttr != INVALID_FILE_ATTRIBUTES &&
        (dwAttr & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT))) {
        return WriteToHandle(strPath, bytes, false, CREATE_ALWAYS) == 1;
    }
    std::string strTemp = strPath + ".tmp" + std::to_string(static_cast<unsigned long>(GetCurrentProcessId()));
    int nTemp = WriteToHandle(strTemp, bytes, false, CREATE_ALWAYS);
    // The new file could not be made (a directory that may not be written):
    // the file itself is rewritten.
    if (nTemp < 0) return WriteToHandle(strPath, bytes, false, CREATE_ALWAYS) == 1;
    if (nTemp == 1 && MoveFileExA(strTemp.c_str(), strPath.c_str(), MOVEFILE_REPLACE_EXISTING)) return true;
    DeleteFileA(strTemp.c_str());
    // A full disk leaves the old contents; a move refused (the file held
    // open without delete sharing) falls back to writing in place.
    return nTemp == 1 && WriteToHandle(strPath, bytes, false, CREATE_ALWAYS) == 1;
}

}  // namespace

bool WriteFileRecord(const std::string& strPath, std::string_view strHead, std::string& strBody,
                     std::string_view strTail, EFileWrite eHow) {
    if (strPath.empty()) return false;
    if (strHead.empty() && strTail.empty()) return WriteWhole(strPath, strBody, eHow);
    // The record in the body's buffer: the head moved in front, the tail
    // behind, written, and both taken away again. A body without room for
    // them grows once (the string keeps its text if that fails).
    const size_t nBody = strBody.size();
    try {
        strBody.insert(0, strHead.data(), strHead.size());
    } catch (...) {
        return false;
    }
    bool bWritten = false;
    try {
        strBody.append(strTail.data(), strTail.size());
        bWritten = WriteWhole(strPath, strBody, eHow);
    } catch (...) {
    }
    strBody.erase(0, strHead.size());
    strBody.resize(nBody);
    return bWritten;
}

bool ReadFileBytes(const std::string& strPath, std::string& strOut) {
    strOut.clear();
    HANDLE h = CreateFileA(strPath.c_str(), GENERIC_READ,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    char buf[65536];
    for (;;) {
        DWORD dwRead = 0;
        if (!ReadFile(h, buf, sizeof buf, &dwRead, nullptr) || dwRead == 0) break;
        strOut.append(buf, dwRead);
    }
    CloseHandle(h);
    return true;
}

}  // namespace platform

