// The one seam between the portable core and the operating system.
//
// The core (config/, refresh/, http/, log/, service/) includes no OS header;
// everything it needs from the system comes through the functions declared in
// platform/*.h. Each function has a win32 side (platform/win32/) and a posix
// side (platform/posix/); exactly one of them is compiled into a build.
//
// All texts are byte strings. On Windows they are in the ANSI code page (936
// on the machines the service is made for); on Linux paths are the raw bytes
// the kernel gives.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace platform {

// The separator between directory names: '\\' on Windows, '/' on Linux.
extern const char kPathSep;

// The full file name of the running executable (each side's own). The core
// asks the environment (GetEnv().ExecutablePath()), whose default this is.
std::string GetExecutablePath();

// Kind of a path: -1 when it cannot be examined (missing, bad name),
// 0 for a file (anything that is not a directory), 1 for a directory.
int GetPathKind(const std::string& strPath);

// What tells one version of a file from the next: the modification time at
// the file system's full resolution (nanoseconds since 1970 on Linux, the
// 100 ns file time on Windows), the size and, on Linux, the inode, so that a
// file renamed over it counts too. All zero when the file cannot be examined.
struct SFileStamp {
    int64_t nModTime = 0;
    int64_t nSize = 0;
    uint64_t nFileId = 0;  // the inode on Linux; 0 on Windows
};
SFileStamp GetFileStamp(const std::string& strPath);

// Creates one directory; false when it could not be made.
bool CreateDir(const std::string& strPath);

// Deletes a plain file without question, recycle bin or progress window.
bool DeleteFileSilently(const std::string& strPath);

// How a write treats what the file held before.
enum EFileWrite {
    // A new file written beside it and renamed over it: a reader never sees
    // it empty or half written, and a full disk keeps the old contents. Where
    // that cannot be done (a link, a directory that may not be written), the
    // file is rewritten in place.
    kFileReplace,
    // At its end. A write cut short (disk full, file size limit) is undone:
    // the file ends where it ended before this call.
    kFileAppend,
    // Over the old bytes from the start, then cut to the new length: no new
    // file, so nothing is allocated on disk again for a small text rewritten
    // every second. A reader may see the new text followed by the end of a
    // longer old one for the moment between the two; a write that fails
    // leaves the file empty.
    kFileOverwrite,
};

// Opens the file for writing, shared with other readers and writers, writes
// a record and closes it. True when all bytes were written; false when the
// file could not be opened or the write failed.
// The record is strHead, then strBody, then strTail, written with one write
// call, so that a reader of the file (tail -f, a log shipper) never sees a
// part of it. Linux gathers the three pieces in the call. Windows lays the
// record out in strBody's own buffer for the moment of the write (the head
// moved in front of the body, the tail behind it) and gives strBody back as
// it was: a page-sized body is not copied, and a body with room beyond its
// size for head and tail does not grow.
bool WriteFileRecord(const std::string& strPath, std::string_view strHead, std::string& strBody,
                     std::string_view strTail, EFileWrite eHow);
inline bool WriteFileBytes(const std::string& strPath, std::string strBytes, EFileWrite eHow) {
    return WriteFileRecord(strPath, std::string_view(), strBytes, std::string_view(), eHow);
}

// Reads a whole file; false when it cannot be opened.
bool ReadFileBytes(const std::string& strPath, std::string& strOut);

}  // namespace platform
