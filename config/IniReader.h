// config.ini beside the executable: single values of one section, and the
// fourteen refresh settings of section VlmWebRefresh.
// Thread safety: every method is const and goes to the file on each call, so
// the service thread and the worker may use the one reader at once; two
// writers of the same key at once leave either value.
#pragma once

#include <string>

class CIniReader {
public:
    // The INI file beside the executable; created with its defaults when no
    // file of that name exists.
    CIniReader();
    virtual ~CIniReader();

    CIniReader(const CIniReader&) = delete;
    CIniReader& operator=(const CIniReader&) = delete;

    // Value of key in section (at most 2047 bytes); empty text when the file,
    // the section or the key is missing, or when key or section is empty.
    std::string ReadString(const std::string& strKey, const std::string& strSection) const;
    // Stores the value; always true, the outcome of the write is not looked at.
    bool WriteString(const std::string& strValue, const std::string& strKey,
                     const std::string& strSection) const;

    // First-run initialisation: the notice line and the fourteen defaults.
    bool WriteDefaults() const;

    std::string GetSoftOn() const;
    std::string GetUrl() const;
    std::string GetTimeStartFrom() const;
    std::string GetTimeMinute() const;
    std::string GetTimeSecond() const;
    std::string GetTimeSecond2() const;
    std::string GetLog() const;

    bool SetSoftOn(const std::string& strValue) const;
    bool SetSoftDes(const std::string& strValue) const;
    bool SetSoftVer(const std::string& strValue) const;
    bool SetSetupTime(const std::string& strValue) const;
    bool SetLastStart(const std::string& strValue) const;
    bool SetAutoStart(const std::string& strValue) const;
    bool SetFirstStart(const std::string& strValue) const;
    bool SetUrl(const std::string& strValue) const;
    bool SetTimeStartFrom(const std::string& strValue) const;
    bool SetTimeMinute(const std::string& strValue) const;
    bool SetTimeSecond(const std::string& strValue) const;
    bool SetTimeSecond2(const std::string& strValue) const;
    bool SetLocalDns(const std::string& strValue) const;
    bool SetLog(const std::string& strValue) const;


private:
    const std::string m_strIniFile;
};

// The section of the refresh settings.
extern const char* const kSettingsSection;
// The first line of a new config.ini (code page 936).
extern const char* const kIniNotice;

// The process's one reader of config.ini beside the executable.
extern CIniReader theIniReader;
