#include "config/IniReader.h"

#include "config/DateTime.h"
#include "config/FileUtil.h"
#include "config/Product.h"
#include "platform/Profile.h"

// ";Velmora提示：请勿手动修改以下信息！"
const char* const kIniNotice =
    ";Velmora\xcc\xe1\xca\xbe\xa3\xba\xc7\xeb\xce\xf0\xca\xd6\xb6\xaf\xd0\xde\xb8\xc4\xd2\xd4"
    "\xcf\xc2\xd0\xc5\xcf\xa2\xa3\xa1";
const char* const kSettingsSection = "VlmWebRefresh";

namespace {
const size_t kValueBufferSize = 2048;
}

CIniReader::CIniReader() : m_strIniFile(GetModuleDir() + "config.ini") {
    if (!PathExists(m_strIniFile, kPathIsFile)) WriteDefaults();
}

CIniReader::~CIniReader() = default;

std::string CIniReader::ReadString(const std::string& strKey, const std::string& strSection) const {
    if (strKey.empty() || strSection.empty()) return std::string();
    return platform::ReadProfileValue(strSection, strKey, "", m_strIniFile, kValueBufferSize);
}

bool CIniReader::WriteString(const std::string& strValue, const std::string& strKey,
                             const std::string& strSection) const {
    platform::WriteProfileValue(strSection, strKey, strValue, m_strIniFile);
    return true;
}

bool CIniReader::WriteDefaults() const {
    WriteTextFile(m_strIniFile, kIniNotice, kAddLineEnd, kReplaceFile);
    SetSoftDes(kProductName);
    SetSoftVer("1.0.0");
    SetSetupTime(GetDateTimeText());
    SetSoftOn("1");
    SetAutoStart("1");
    SetLastStart("");
    SetFirstStart("");
    SetUrl("");
    SetTimeStartFrom("0");
    SetTimeMinute("0");
    SetTimeSecond("0");
    SetTimeSecond2("5");
    SetLocalDns("0");
    SetLog("1");
    return true;
}

#define VLM_GETTER(Name) \
    std::string CIniReader::Get##Name() const { return ReadString(#Name, kSettingsSection); }
#define VLM_SETTER(Name)                                             \
    bool CIniReader::Set##Name(const std::string& strValue) const { \
        return WriteString(strValue, #Name, kSettingsSection);       \
    }

VLM_GETTER(SoftOn)
VLM_GETTER(Url)
VLM_GETTER(TimeStartFrom)
VLM_GETTER(TimeMinute)
VLM_GETTER(TimeSecond)
VLM_GETTER(TimeSecond2)
VLM_GETTER(Log)

VLM_SETTER(SoftOn)
VLM_SETTER(SoftDes)
VLM_SETTER(SoftVer)
VLM_SETTER(SetupTime)
VLM_SETTER(LastStart)
VLM_SETTER(AutoStart)
VLM_SETTER(FirstStart)
VLM_SETTER(Url)
VLM_SETTER(TimeStartFrom)
VLM_SETTER(TimeMinute)
VLM_SETTER(TimeSecond)
VLM_SETTER(TimeSecond2)
VLM_SETTER(LocalDns)
VLM_SETTER(Log)
