// Linux side of the basic seam: files, the executable's path and the clock.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

#include "platform/Platform.h"
#include "platform/posix/PosixInternal.h"

namespace platform {

const char kPathSep = '/';

std::string GetExecutablePath() {
    char szPath[PATH_MAX + 1];
    ssize_t n = readlink("/proc/self/exe", szPath, PATH_MAX);
    if (n <= 0) return std::string();
    return std::string(szPath, static_cast<size_t>(n));
}

int GetPathKind(const std::string& strPath) {
    struct stat st;
    if (strPath.empty() || stat(strPath.c_str(), &st) != 0) return -1;
    return S_ISDIR(st.st_mode) ? 1 : 0;
}

SFileStamp GetFileStamp(const std::string& strPath) {
    SFileStamp stamp;
    struct stat st;
    if (strPath.empty() || stat(strPath.c_str(), &st) != 0) return stamp;
    stamp.nModTime = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    stamp.nSize = static_cast<int64_t>(st.st_size);
    stamp.nFileId = static_cast<uint64_t>(st.st_ino);
    return stamp;
}

bool CreateDir(const std::string& strPath) {
    return !strPath.empty() && mkdir(strPath.c_str(), 0755) == 0;
}

bool DeleteFileSilently(const std::string& strPath) {
    return !strPath.empty() && unlink(strPath.c_str()) == 0;
}

namespace {

// The pieces of a record, as one gathered write takes them.
struct SRecord {
    struct iovec iov[3];
    int nCount = 0;
    size_t nSize = 0;
    void Add(const char* p, size_t n) {
        if (n == 0) return;
        iov[nCount].iov_base = const_cast<char*>(p);
        iov[nCount++].iov_len = n;
        nSize += n;
    }
};

// Writes the record to fd with one call. Where the kernel takes less (a
// signal, or a full disk, whose next call then fails) the rest follows;
// false when a write fails part way (disk full, file size limit).
bool WriteAll(int fd, const SRecord& record) {
    SRecord rest = record;
    struct iovec* pIov = rest.iov;
    int nCount = rest.nCount;
    size_t nLeft = rest.nSize;
    while (nLeft > 0) {
        ssize_t n = writev(fd, pIov, nCount);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        nLeft -= static_cast<size_t>(n);
        for (size_t nDone = static_cast<size_t>(n); nDone > 0;) {
            size_t nTake = nDone < pIov->iov_len ? nDone : pIov->iov_len;
            pIov->iov_base = static_cast<char*>(pIov->iov_base) + nTake;
            pIov->iov_len -= nTake;
            nDone -= nTake;
            if (pIov->iov_len == 0) ++pIov, --nCount;
        }
    }
    return true;
}

// Writes in the file itself: at its end (append), from its start without
// cutting it first (overwrite), or into it cut to nothing (a replacement that
// cannot go through a new file).
bool WriteInPlace(const std::string& strPath, const SRecord& bytes, EFileWrite eHow) {
    const int nMode = eHow == kFileAppend ? O_APPEND : eHow == kFileReplace ? O_TRUNC : 0;
    int fd = open(strPath.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | nMode, 0644);
    if (fd < 0) return false;
    // Where this record begins: a write cut short is undone back to here, so
    // that no half line stays in the file for the next record to be glued to.
    off_t nStart = 0;
    if (eHow == kFileAppend) {
        struct stat st;
        if (fstat(fd, &st) == 0) nStart = st.st_size;
    }
    bool bWhole = WriteAll(fd, bytes);
    // An overwrite is cut to its new length, never to zero bytes first: a
    // file cut to nothing and written again is given new disk blocks at once
    // on ext4.
    if (!bWhole || eHow == kFileOverwrite) {
        const off_t nEnd = bWhole ? static_cast<off_t>(bytes.nSize) : nStart;
        while (ftruncate(fd, nEnd) != 0) {
            if (errno != EINTR) {
                bWhole = false;
                break;
            }
        }
    }
    if (close(fd) != 0 && errno != EINTR) bWhole = false;
    return bWhole;
}

}  // namespace

bool WriteFileRecord(const std::string& strPath, std::string_view strHead, std::string& strBody,
                     std::string_view strTail, EFileWrite eHow) {
    if (strPath.empty()) return false;
    SRecord bytes;
    bytes.Add(strHead.data(), strHead.size());
    bytes.Add(strBody.data(), strBody.size());
    bytes.Add(strTail.data(), strTail.size());
    if (eHow != kFileReplace) return WriteInPlace(strPath, bytes, eHow);
    struct stat st;
    bool bExists = lstat(strPath.c_str(), &st) == 0;
    if (bExists && !S_ISREG(st.st_mode)) return WriteInPlace(strPath, bytes, kFileReplace);
    std::string strTemp = strPath + ".tmp" + std::to_string(static_cast<long>(getpid()));
    int fd = open(strTemp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd < 0) return WriteInPlace(strPath, bytes, kFileReplace);
    if (bExists) {
        // The file keeps its owner and mode (both fail quietly without rights).
        if (fchown(fd, st.st_uid, st.st_gid) != 0) {
        }
        fchmod(fd, st.st_mode & 07777);
    }
    bool bWhole = WriteAll(fd, bytes);
    if (close(fd) != 0 && errno != EINTR) bWhole = false;
    if (bWhole && rename(strTemp.c_str(), strPath.c_str()) == 0) return true;
    int nErr = errno;
    unlink(strTemp.c_str());
    errno = nErr;
    return bWhole ? WriteInPlace(strPath, bytes, kFileReplace) : false;
}

void CloseFd(int fd) { close(fd); }

int ReadWholeFile(const std::string& strPath, std::string& strOut) {
    strOut.clear();
    CFd file(open(strPath.c_str(), O_RDONLY | O_CLOEXEC));
    if (!file) return -1;
    char buf[65536];
    int nResult = 1;
    for (;;) {
        ssize_t n = read(file.Get(), buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) nResult = 0;
        if (n <= 0) break;
        strOut.append(buf, static_cast<size_t>(n));
    }
    int nErr = errno;
    file.Reset();
    errno = nErr;
    return nResult;
}

bool ReadFileBytes(const std::string& strPath, std::string& strOut) {
    int nRead = ReadWholeFile(strPath, strOut);
    if (nRead < 0) return false;
    // A directory is no file; a read that fails part way keeps what came.
    if (nRead == 0 && errno == EISDIR) {
        strOut.clear();
        return false;
    }
    return true;
}

}  // namespace platform

