// Windows side of the service-manager seam, the registry: values under
// HKEY_LOCAL_MACHINE.
#include <windows.h>

#include <cstring>

#include "platform/Service.h"

namespace platform {

namespace {

HKEY AsKey(RegKeyHandle h) { return static_cast<HKEY>(h); }

// The key that a registry call opened, or nullptr with the call's result as
// the thread's last error.
RegKeyHandle KeyOrError(LONG nResult, HKEY hKey) {
    if (nResult == ERROR_SUCCESS) return hKey;
    SetLastError(static_cast<DWORD>(nResult));
    return nullptr;
}

}  // namespace

RegKeyHandle OpenRegKeyForQuery(const char* szPath) {
    HKEY hKey = nullptr;
    LONG nResult = RegOpenKeyExA(HKEY_LOCAL_MACHINE, szPath, 0, KEY_QUERY_VALUE, &hKey);
    return KeyOrError(nResult, hKey);
}

RegKeyHandle CreateRegKey(const char* szPath) {
    HKEY hKey = nullptr;
    LONG nResult = RegCreateKeyA(HKEY_LOCAL_MACHINE, szPath, &hKey);
    return KeyOrError(nResult, hKey);
}

RegKeyHandle CreateRegKeyForWrite(const char* szPath) {
    HKEY hKey = nullptr;
    char szClass[1] = {0};
    LONG nResult = RegCreateKeyExA(HKEY_LOCAL_MACHINE, szPath, 0, szClass, 0, KEY_WRITE, nullptr,
                                   &hKey, nullptr);
    return KeyOrError(nResult, hKey);
}

bool QueryRegValue4(RegKeyHandle hKey, const char* szValue, int32_t& nValue) {
    // Read into a value of our own and take it only when exactly four bytes
    // came back: a shorter text would fill part of the number, and after
    // ERROR_MORE_DATA the buffer's content is undefined.
    int32_t nRead = 0;
    DWORD nSize = sizeof(nRead);
    if (RegQueryValueExA(AsKey(hKey), szValue, nullptr, nullptr, reinterpret_cast<BYTE*>(&nRead),
                         &nSize) != ERROR_SUCCESS ||
        nSize != sizeof(nRead)) {
        return false;
    }
    nValue = nRead;
    return true;
}

bool SetRegDword(RegKeyHandle hKey, const char* szValue, uint32_t nData) {
    DWORD nDword = nData;
    return RegSetValueExA(AsKey(hKey), szValue, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&nDword),
                          sizeof(nDword)) == ERROR_SUCCESS;
}

bool SetRegText(RegKeyHandle hKey, const char* szValue, const char* szText, ERegText eType) {
    return RegSetValueExA(AsKey(hKey), szValue, 0, eType == kRegExpandableText ? REG_EXPAND_SZ : REG_SZ,
                          reinterpret_cast<const BYTE*>(szText),
                          static_cast<DWORD>(strlen(szText) + 1)) == ERROR_SUCCESS;
}

void CloseRegKey(RegKeyHandle hKey) {
    if (hKey) RegCloseKey(AsKey(hKey));
}

}  // namespace platform
