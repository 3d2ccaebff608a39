// What the files of the Linux side share: reading a whole file, the system
// root, the registry store's place, UTF-8 for files other programs read, the
// notify sender and the text of the unit file. Thread safety: every function is safe from any thread.
#pragma once

#include <string>

#include "platform/Handle.h"

namespace platform {

// Closes a file descriptor (the result is not wanted).
void CloseFd(int fd);
// The owner of one file descriptor.
typedef CHandle<int, CloseFd, -1> CFd;

// Reads the whole file into strOut: 1 when all of it was read, 0 when a read
// failed part way (strOut holds what came before; errno says why, EISDIR for
// a directory), -1 when it cannot be opened (errno set).
int ReadWholeFile(const std::string& strPath, std::string& strOut);

// The directory name of the registry store below var/lib.
extern const char kStoreDirName[];

// The environment's system root without a trailing '/': empty for "/".
std::string SystemRoot();

// Code page 936 text to UTF-8 for files that other programs read as UTF-8;
// what cannot be converted is left out.
std::string Cp936ToUtf8(const std::string& strText);

// True when the locale names Simplified Chinese: the language "zh" in any
// territory but TW, HK and MO ("zh_CN.UTF-8", "zh_SG", "zh"). The locale is
// szLocale, or when it is null the one the environment sets for messages
// (LC_ALL, else LC_MESSAGES, else LANG).
bool IsSimplifiedChineseLocale(const char* szLocale = nullptr);

// Sends one message of the notify protocol to the socket NOTIFY_SOCKET names
// (nothing when it names none). errno is kept.
void SendNotify(const std::string& strMessage);

// The unit file of the service that runs the executable at strPath.
// strUser empty: the unit that -i writes, whose service runs as root without
// capabilities; else the package's unit, whose service runs as that user.
std::string BuildUnitText(const std::string& strPath, const std::string& strDescription,
                          const std::string& strUser);

// False when the registry store is there but cannot be read (errno says
// why); a missing store reads as empty (bExisted false).
bool LoadRegistryStore(std::string& strBytes, bool& bExisted);

}  // namespace platform
