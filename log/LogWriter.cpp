#include "log/LogWriter.h"

#include "config/FileUtil.h"
#include "log/DateTime.h"
#include "platform/Platform.h"
#include "refresh/VisibleText.h"

namespace {

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
    return WriteTextFile(m_strCachePath, std::move(strText), 0, 0);
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
    return WriteTextFile(strPath, std::move(strLine), 1, 1);
}

int CLogWriter::WriteSystemLog(std::string strMessage) {
    std::string strTime = GetTimeText();
    std::string strDate = GetDateText();
    std::string strLine = strDate + ' ' + strTime + ' ' + strMessage;
    return WriteTextFile(m_strLogDir + "system.log", std::move(strLine), 1, 1);
}
