#include "log/LogWriter.h"

#include "config/FileUtil.h"
#include "log/DateTime.h"
#include "platform/Platform.h"
#include "refresh/VisibleText.h"

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

}  // namespace

CLogWriter::CLogWriter() {
    m_strLogDir = GetModuleDir() + "log" + platform::kPathSep;
    if (!PathExists(m_strLogDir, 1)) platform::CreateDir(m_strLogDir);
    m_strCachePath = m_strLogDir + "cache.txt";
}

CLogWriter::~CLogWriter() = default;

int CLogWriter::WriteCache(int nStatus, std::string strText) {
    strText = ExtractVisibleText(std::move(strText));
    std::string strTime = GetTimeText();
    std::string strDate = GetDateText();
    // The line is made in the text's own buffer (the reduction left room at
    // its end), so a page of many megabytes is not copied once more.
    strText.insert(0, MakeLine(strDate, strTime, nStatus, std::string()));
    return WriteLogFile(kCacheFile, m_strCachePath, std::move(strText), 0, 0);
}

int CLogWriter::WriteDailyLog(int nStatus, std::string strText) {
    std::string strTime = GetTimeText();
    std::string strDate = GetDateText();
    std::string strLine = MakeLine(strDate, strTime, nStatus, strText);
    if (strLine == m_strLastLine) return 0;
    m_strLastLine = strLine;
    // The file's date is read anew: a line made just before midnight may land
    // in the next day's file.
    std::string strPath = m_strLogDir + GetDateText() + ".log";
    return WriteLogFile(kDailyLog, strPath, std::move(strLine), 1, 1);
}

int CLogWriter::WriteSystemLog(std::string strMessage) {
    std::string strTime = GetTimeText();
    std::string strDate = GetDateText();
    std::string strLine = strDate + ' ' + strTime + ' ' + strMessage;
    return WriteLogFile(kSystemLog, m_strLogDir + "system.log", std::move(strLine), 1, 1);
}

int CLogWriter::WriteStatusFile(const std::string& strPath, std::string strText) {
    return WriteLogFile(kStatusFile, strPath, std::move(strText), 0, 0);
}

int CLogWriter::WriteLogFile(EFileKind eKind, const std::string& strPath, std::string strText,
                             int nLineEnd, int nAppend) {
    if (strPath.empty()) return 0;
    // Notes owed go before a line of system.log, which is newer than they are.
    if (eKind == kSystemLog) WriteLossNotes();
    const std::string strBytes = MakeTextFileBytes(std::move(strText), nLineEnd);
    bool bWritten = platform::WriteFileBytes(strPath, strBytes, nAppend != 0);
    // log/ removed while the service runs: made again, and written once more.
    if (!bWritten && !PathExists(m_strLogDir, 1) && platform::CreateDir(m_strLogDir)) {
        bWritten = platform::WriteFileBytes(strPath, strBytes, nAppend != 0);
    }
    if (eKind == kSystemLog) return bWritten ? 1 : 0;

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
        m_strLossNote[eKind] = GetDateText() + ' ' + strTime + ' ' + kTextWriteFailed + strName;
    }
    WriteLossNotes();
    return bWritten ? 1 : 0;
}

void CLogWriter::WriteLossNotes() {
    // One try per owed note and write: on a full disk the notes wait for the
    // next record instead of being retried here.
    for (std::string& strNote : m_strLossNote) {
        if (strNote.empty()) continue;
        if (!platform::WriteFileBytes(m_strLogDir + "system.log", strNote + "\r\n", true)) return;
        strNote.clear();
    }
}
