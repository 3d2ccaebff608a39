#include "log/LogWriter.h"

#include <cstdint>
#include <cstring>

#include "config/DateTime.h"
#include "config/FileUtil.h"
#include "config/Product.h"
#include "platform/Platform.h"
#include "platform/Service.h"

namespace {

// "写入失败：", the note in system.log about a file that could not be written.
const char* const kTextWriteFailed = "\xd0\xb4\xc8\xeb\xca\xa7\xb0\xdc\xa3\xba";

// "date time status text": single blanks, the status in signed decimal; the
// text is copied as it is (a percent sign in it is just a byte).
std::string MakeLine(const std::string& strDate, const std::string& strTime, int nStatus,
                     const std::string& strText) {
    std::string strStatus = std::to_string(nStatus);
    std::string strLine;
    strLine.reserve(strDate.size() + strTime.size() + strStatus.size() + strText.size() + 3);
    strLine += strDate;
    strLine += ' ';
    strLine += strTime;
    strLine += ' ';
    strLine += strStatus;
    strLine += ' ';
    strLine += strText;
    return strLine;
}

// A 64-bit hash of a text, eight bytes at a time (multiply and xor-shift
// mixing). It tells whether a text is the one written just before, in the
// same second: not a secret, and no attacker chooses both texts.
uint64_t HashText(const std::string& strText) {
    const size_t n = strText.size();
    uint64_t h = 0x9e3779b97f4a7c15ull ^ n;
    size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        uint64_t w;
        memcpy(&w, strText.data() + i, 8);
        h = (h ^ w) * 0xff51afd7ed558ccdull;
        h ^= h >> 32;
    }
    for (; i < n; ++i) h = (h ^ static_cast<unsigned char>(strText[i])) * 0x100000001b3ull;
    h ^= h >> 33;
    h *= 0xc4ceb9fe1a85ec53ull;
    return h ^ (h >> 33);
}

// A note for the platform's own log, where the administrator looks when
// log/ says nothing: event 109 of the service's event source, the note its
// one string.
void ReportToPlatformLog(const std::string& strNote) {
    platform::EventSourceHandle hSource = platform::OpenEventSource(kServiceName);
    if (!hSource) return;
    const char* pStrings[1] = {strNote.c_str()};
    platform::ReportEventTo(hSource, platform::kEventError, kEventLogWriteFailed, 1, pStrings);
    platform::CloseEventSource(hSource);
}

}  // namespace

CLogWriter::CLogWriter() {
    m_strLogDir = GetModuleDir() + "log" + platform::kPathSep;
    if (!PathExists(m_strLogDir, kPathIsDirectory)) platform::CreateDir(m_strLogDir);
    m_strCachePath = m_strLogDir + "cache.txt";
}

CLogWriter::~CLogWriter() = default;

int CLogWriter::WriteCache(int nStatus, std::string& strText) {
    const std::string strTime = GetTimeText();
    const std::string strPrefix = MakeLine(GetDateText(), strTime, nStatus, std::string());
    return WriteLogFile(kCacheFile, m_strCachePath, strPrefix, strText);
}

int CLogWriter::WriteDailyLog(int nStatus, std::string& strText) {
    const std::string strTime = GetTimeText();
    const std::string strPrefix = MakeLine(GetDateText(), strTime, nStatus, std::string());
    // The text itself is not kept: a page-sized copy would stay in memory
    // until the next line.
    const uint64_t nHash = HashText(strText);
    if (m_strLastPrefix == strPrefix && m_nLastTextSize == strText.size() && m_nLastTextHash == nHash) return 0;
    m_strLastPrefix = strPrefix;
    m_nLastTextSize = strText.size();
    m_nLastTextHash = nHash;
    // The file's date is read anew: a line made just before midnight may land
    // in the next day's file.
    std::string strPath = m_strLogDir + GetDateText() + ".log";
    return WriteLogFile(kDailyLog, strPath, strPrefix, strText);
}

int CLogWriter::WriteSystemLog(std::string strMessage) {
    std::string strTime = GetTimeText();
    std::string strDate = GetDateText();
    return WriteLogFile(kSystemLog, m_strLogDir + "system.log", strDate + ' ' + strTime + ' ', strMessage);
}

int CLogWriter::WriteStatusFile(const std::string& strPath, std::string strText) {
    return WriteLogFile(kStatusFile, strPath, std::string(), strText);
}

int CLogWriter::WriteLogFile(EFileKind eKind, const std::string& strPath, const std::string& strPrefix,
                             std::string& strText) {
    if (strPath.empty()) return 0;
    // The logs grow by lines; the cache file is replaced whole, the status
    // file, rewritten every second, in place rather than by a new file.
    const bool bLineEnd = eKind == kDailyLog || eKind == kSystemLog;
    const platform::EFileWrite eHow = bLineEnd             ? platform::kFileAppend
                                      : eKind == kCacheFile ? platform::kFileReplace
                                                            : platform::kFileOverwrite;
    // Notes owed go before a line of system.log, which is newer than they are.
    if (eKind == kSystemLog) WriteLossNotes();
    // Text mode: a line feed goes to the file as CR LF. Without one the
    // prefix, the text and the line end go as they are.
    std::string strJoined;
    const bool bFeeds = strPrefix.find('\n') != std::string::npos || strText.find('\n') != std::string::npos;
    if (bFeeds) strJoined = MakeTextFileBytes(strPrefix + strText, bLineEnd);
    std::string& strBody = bFeeds ? strJoined : strText;
    const std::string_view strHead = bFeeds ? std::string_view() : std::string_view(strPrefix);
    const std::string_view strTail = bFeeds || !bLineEnd ? std::string_view() : std::string_view("\r\n", 2);
    bool bWritten = platform::WriteFileRecord(strPath, strHead, strBody, strTail, eHow);
    // log/ removed while the service runs: made again, and written once more.
    if (!bWritten && !PathExists(m_strLogDir, kPathIsDirectory) && platform::CreateDir(m_strLogDir)) {
        bWritten = platform::WriteFileRecord(strPath, strHead, strBody, strTail, eHow);
    }
    NoteOutcome(eKind, strPath, bWritten);
    return bWritten ? 1 : 0;
}

void CLogWriter::NoteOutcome(EFileKind eKind, const std::string& strPath, bool bWritten) {
    if (bWritten) {
        m_bFailing[eKind] = false;
    } else if (!m_bFailing[eKind]) {
        // The first failure of a run of them: "date time 写入失败：name",
        // stamped with the time of the loss even when it is written later.
        m_bFailing[eKind] = true;
        std::string strName = strPath.compare(0, m_strLogDir.size(), m_strLogDir) == 0
                                  ? strPath.substr(m_strLogDir.size())
                                  : strPath;
        std::string strTime = GetTimeText();
        std::string strNote = GetDateText() + ' ' + strTime + ' ' + kTextWriteFailed + strName;
        if (eKind == kSystemLog) {
            ReportToPlatformLog(strNote);  // system.log cannot hold a note of itself
            return;
        }
        m_strLossNote[eKind] = std::move(strNote);
        m_bLossReported[eKind] = false;
    }
    if (eKind != kSystemLog) WriteLossNotes();
}

void CLogWriter::WriteLossNotes() {
    // One try of system.log per write: on a full disk the notes wait for the
    // next record instead of being retried here. Each note that it cannot
    // take goes to the platform's log, once.
    const std::string strSystemLog = m_strLogDir + "system.log";
    bool bRefused = false;
    for (size_t k = 0; k < kNotedKinds; ++k) {
        std::string& strNote = m_strLossNote[k];
        if (strNote.empty()) continue;
        if (!bRefused && platform::WriteFileBytes(strSystemLog, strNote + "\r\n", platform::kFileAppend)) {
            strNote.clear();
            continue;
        }
        bRefused = true;
        if (!m_bLossReported[k]) ReportToPlatformLog(strNote);
        m_bLossReported[k] = true;
    }
}
