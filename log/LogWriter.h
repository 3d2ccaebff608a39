// The log files under log/ beside the executable: the cache file, the daily
// logs and the system log.
// Thread safety: one writer belongs to one thread (the worker has its own);
// writers on different threads may write the same files, each write landing
// whole.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/Platform.h"

// The event a writer reports to the platform's log: a note about a file of
// log/ that could not be written, where system.log could not take it (or
// about system.log itself).
const uint32_t kEventLogWriteFailed = 109;

class CLogWriter {
public:
    // Builds the paths and creates the log directory when it is missing.
    CLogWriter();
    ~CLogWriter();

    CLogWriter(const CLogWriter&) = delete;
    CLogWriter& operator=(const CLogWriter&) = delete;

    // Every write below makes the log directory again when it has gone (once
    // per write) and lands whole or not at all, with one write call. A file
    // of the log directory that cannot be written is noted once in
    // system.log ("写入失败：" and its name) until a write of it succeeds
    // again; a note that cannot be written is tried again with the next
    // write. A note that system.log cannot take, and a failure of system.log
    // itself, go once per run of failures to the platform's own log (event
    // 109: the Windows event log, syslog on Linux).

    // The text is lent to the write (the record is laid out around it on
    // Windows, see platform::WriteFileRecord) and given back as it was; a
    // text that may not be lent is copied first.

    // The cache file holds exactly one line "date time status text", without
    // line end. 1 when written, else 0.
    int WriteCache(int nStatus, std::string& strText);
    int WriteCache(int nStatus, const std::string& strText) {
        std::string strCopy = strText;
        return WriteCache(nStatus, strCopy);
    }
    // Appends "date time status text" + CR LF to the day's log; 0 when the line
    // equals the previous one of this object or the write failed, else 1.
    int WriteDailyLog(int nStatus, std::string& strText);
    int WriteDailyLog(int nStatus, const std::string& strText) {
        std::string strCopy = strText;
        return WriteDailyLog(nStatus, strCopy);
    }
    // Appends "date time message" + CR LF to system.log.
    int WriteSystemLog(std::string strMessage);
    // Writes the text, without line end, over the worker's status file (a
    // file of the log directory), in place.
    int WriteStatusFile(const std::string& strPath, std::string strText);

private:
    // The files of the log directory; failed writes of the first three are
    // noted in system.log.
    enum EFileKind { kCacheFile, kDailyLog, kStatusFile, kSystemLog, kKinds, kNotedKinds = kSystemLog };

    // Writes strPrefix + strText (+ CR LF for the logs) as one record, each
    // line feed as CR LF, in the way of writing of its kind; the two are
    // joined in memory only when a line feed needs it.
    int WriteLogFile(EFileKind eKind, const std::string& strPath, const std::string& strPrefix,
                     std::string& strText);
    void NoteOutcome(EFileKind eKind, const std::string& strPath, bool bWritten);
    void WriteLossNotes();

    std::string m_strLogDir;
    // The last line of the daily log, compared with the next one: its prefix,
    // its text's length and a hash of the text.
    std::string m_strLastPrefix;
    size_t m_nLastTextSize = 0;
    uint64_t m_nLastTextHash = 0;
    std::string m_strCachePath;
    // Per kind: whether it is failing (no new note until it succeeds again).
    bool m_bFailing[kKinds] = {false, false, false, false};
    // Per noted kind: the note owed to system.log ("" when none), and whether
    // it went to the platform's log already.
    std::string m_strLossNote[kNotedKinds];
    bool m_bLossReported[kNotedKinds] = {false, false, false};
};
