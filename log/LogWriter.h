// The log files under log/ beside the executable: the cache file, the daily
// logs and the system log.
#pragma once

#include <string>

class CLogWriter {
public:
    // Builds the paths and creates the log directory when it is missing.
    CLogWriter();
    ~CLogWriter();

    CLogWriter(const CLogWriter&) = delete;
    CLogWriter& operator=(const CLogWriter&) = delete;

    // The cache file holds exactly one line "date time status text" (the text
    // reduced to its visible text), without line end. Result of WriteTextFile.
    int WriteCache(int nStatus, std::string strText);
    // Appends "date time status text" + CR LF to the day's log; 0 when the line
    // equals the previous one of this object, else the result of WriteTextFile.
    int WriteDailyLog(int nStatus, std::string strText);
    // Appends "date time message" + CR LF to system.log.
    int WriteSystemLog(std::string strMessage);

    const std::string& GetLogDir() const { return m_strLogDir; }

private:
    std::string m_strLogDir;
    std::string m_strLastLine;
    std::string m_strCachePath;
};
