// Linux side of the registry: one text file, var/lib/VlmRefresh/registry.conf
// under the system root, read whole and replaced whole (through a temporary
// file and a rename) by every call; platform/posix/RegStoreText does the text.
// A store that is there but cannot be read is never replaced: its values
// (Start, Inc) would be lost.
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "platform/Platform.h"
#include "platform/posix/RegStoreText.h"
#include "platform/Service.h"
#include "platform/posix/PosixInternal.h"

namespace platform {

namespace {

std::string StoreDir() { return SystemRoot() + "/var/lib/" + kStoreDirName; }
std::string StorePath() { return StoreDir() + "/registry.conf"; }

struct SRegKey {
    std::string strPath;
};

bool MakeDirs(const std::string& strPath) {
    std::string strPart;
    for (size_t i = 0; i <= strPath.size(); ++i) {
        if (i == strPath.size() || (strPath[i] == '/' && i > 0)) {
            strPart = strPath.substr(0, i);
            if (mkdir(strPart.c_str(), 0755) != 0 && errno != EEXIST) return false;
        }
    }
    return true;
}

// The whole store; false (errno set) when it cannot be opened or a read
// fails.
bool ReadFile(const std::string& strPath, std::string& strOut) {
    if (ReadWholeFile(strPath, strOut) == 1) return true;
    strOut.clear();
    return false;
}

bool SaveStore(const std::string& strBytes) {
    // Written beside the store and renamed over it: a reader sees the old
    // store or the new one.
    return MakeDirs(StoreDir()) && WriteFileBytes(StorePath(), strBytes, kFileReplace);
}

RegKeyHandle CreateKeyInStore(const char* szPath) {
    std::string strBytes, strNew;
    bool bExisted = false;
    if (!LoadRegistryStore(strBytes, bExisted)) return nullptr;
    if (regstore::AddKey(strBytes, bExisted, szPath, strNew) && !SaveStore(strNew)) return nullptr;
    return new SRegKey{szPath};
}

bool SetValueInStore(RegKeyHandle hKey, const char* szValue, const std::string& strData) {
    if (!hKey) {
        errno = EBADF;
        return false;
    }
    const SRegKey* pKey = static_cast<const SRegKey*>(hKey);
    std::string strBytes;
    bool bExisted = false;
    if (!LoadRegistryStore(strBytes, bExisted)) return false;
    return SaveStore(regstore::SetValue(strBytes, bExisted, pKey->strPath, szValue, strData));
}

}  // namespace

bool LoadRegistryStore(std::string& strBytes, bool& bExisted) {
    bExisted = ReadFile(StorePath(), strBytes);
    if (!bExisted) strBytes.clear();
    return bExisted || errno == ENOENT;
}

RegKeyHandle OpenRegKeyForQuery(const char* szPath) {
    std::string strBytes;
    if (!ReadFile(StorePath(), strBytes)) return nullptr;
    if (!regstore::HasKey(strBytes, szPath)) {
        errno = ENOENT;
        return nullptr;
    }
    return new SRegKey{szPath};
}

RegKeyHandle CreateRegKey(const char* szPath) { return CreateKeyInStore(szPath); }

RegKeyHandle CreateRegKeyForWrite(const char* szPath) { return CreateKeyInStore(szPath); }

bool QueryRegValue4(RegKeyHandle hKey, const char* szValue, int32_t& nValue) {
    const SRegKey* pKey = static_cast<const SRegKey*>(hKey);
    if (!pKey) return false;
    std::string strBytes;
    if (!ReadFile(StorePath(), strBytes)) return false;
    // Only numbers are read: a text under the name counts as no value.
    return regstore::ReadNumber(strBytes, pKey->strPath, szValue, nValue);
}

bool SetRegDword(RegKeyHandle hKey, const char* szValue, uint32_t nData) {
    return SetValueInStore(hKey, szValue, regstore::NumberData(nData));
}

bool SetRegText(RegKeyHandle hKey, const char* szValue, const char* szText, ERegText eType) {
    return SetValueInStore(hKey, szValue, regstore::TextData(Cp936ToUtf8(szText), eType == kRegExpandableText));
}

void CloseRegKey(RegKeyHandle hKey) { delete static_cast<SRegKey*>(hKey); }

}  // namespace platform
