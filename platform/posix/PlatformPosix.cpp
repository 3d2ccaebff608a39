// Linux side of the basic seam: files, the executable's path and the clock.
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

#include "platform/Clock.h"
#include "platform/Platform.h"

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

int64_t GetFileModTime(const std::string& strPath) {
    struct stat st;
    if (strPath.empty() || stat(strPath.c_str(), &st) != 0) return 0;
    return static_cast<int64_t>(st.st_mtime);
}

bool CreateDir(const std::string& strPath) {
    return !strPath.empty() && mkdir(strPath.c_str(), 0755) == 0;
}

bool DeleteFileSilently(const std::string& strPath) {
    return !strPath.empty() && unlink(strPath.c_str()) == 0;
}

namespace {

// Writes all pieces to fd; false when a write fails part way (disk full,
// file size limit).
bool WriteAll(int fd, const SFileParts& bytes) {
    for (size_t i = 0; i < bytes.nCount; ++i) {
        const char* p = bytes.parts[i].data();
        size_t nLeft = bytes.parts[i].size();
        while (nLeft > 0) {
            ssize_t n = write(fd, p, nLeft);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return false;
            p += n;
            nLeft -= static_cast<size_t>(n);
        }
    }
    return true;
}

bool WriteInPlace(const std::string& strPath, const SFileParts& bytes, bool bAppend) {
    int nFlags = O_WRONLY | O_CREAT | O_CLOEXEC | (bAppend ? O_APPEND : O_TRUNC);
    int fd = open(strPath.c_str(), nFlags, 0644);
    if (fd < 0) return false;
    // Where this record begins: a write cut short is undone back to here, so
    // that no half line stays in the file for the next record to be glued to.
    off_t nStart = 0;
    if (bAppend) {
        struct stat st;
        if (fstat(fd, &st) == 0) nStart = st.st_size;
    }
    bool bWhole = WriteAll(fd, bytes);
    if (!bWhole) {
        while (ftruncate(fd, nStart) != 0 && errno == EINTR) {
        }
    }
    if (close(fd) != 0 && errno != EINTR) bWhole = false;
    return bWhole;
}

}  // namespace

bool WriteFileParts(const std::string& strPath, const SFileParts& bytes, bool bAppend) {
    if (strPath.empty()) return false;
    if (bAppend) return WriteInPlace(strPath, bytes, true);
    // A replacement is written beside the file and renamed over it, so that a
    // reader never sees it empty or half written, and a full disk leaves the
    // old contents. Where that cannot be done (a link, a directory that may
    // not be written), the file is rewritten in place.
    struct stat st;
    bool bExists = lstat(strPath.c_str(), &st) == 0;
    if (bExists && !S_ISREG(st.st_mode)) return WriteInPlace(strPath, bytes, false);
    std::string strTemp = strPath + ".tmp" + std::to_string(static_cast<long>(getpid()));
    int fd = open(strTemp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd < 0) return WriteInPlace(strPath, bytes, false);
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
    return bWhole ? WriteInPlace(strPath, bytes, false) : false;
}

bool ReadFileBytes(const std::string& strPath, std::string& strOut) {
    strOut.clear();
    if (strPath.empty()) return false;
    int fd = open(strPath.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st;
    if (fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        close(fd);
        return false;
    }
    char buf[65536];
    for (;;) {
        ssize_t n = read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        strOut.append(buf, static_cast<size_t>(n));
    }
    close(fd);
    return true;
}

}  // namespace platform

namespace {

class CSystemClock : public CClock {
public:
    int64_t Now() override { return static_cast<int64_t>(time(nullptr)); }

    bool ToLocalTime(int64_t tTime, SLocalTime& out) override {
        time_t t = static_cast<time_t>(tTime);
        struct tm tmLocal;
        if (localtime_r(&t, &tmLocal) == nullptr) return false;
        out.nYear = tmLocal.tm_year + 1900;
        out.nMonth = tmLocal.tm_mon + 1;
        out.nDay = tmLocal.tm_mday;
        out.nHour = tmLocal.tm_hour;
        out.nMinute = tmLocal.tm_min;
        out.nSecond = tmLocal.tm_sec;
        return true;
    }

    void SleepMs(uint32_t nMs) override {
        struct timespec ts;
        ts.tv_sec = static_cast<time_t>(nMs / 1000);
        ts.tv_nsec = static_cast<long>(nMs % 1000) * 1000000L;
        while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
        }
    }
};

}  // namespace

CClock& GetSystemClock() {
    static CSystemClock clock;
    return clock;
}
