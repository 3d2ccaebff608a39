// Files beside the executable: its directory, path tests and the text-file
// writer through which every text file of the system is written.
#pragma once

#include <string>

// Directory of the running executable, ending in the path separator
// ('\\' on Windows, '/' on Linux); empty when it cannot be found.
std::string GetModuleDir();

// True when the path exists and is a directory (nDirFlag 1) or a file (0).
bool PathExists(const std::string& strPath, int nDirFlag);

// Writes the text (plus "\n" when nLineEnd is non-zero), replacing the file
// or appending to it. Every line feed is written as CR LF on both builds.
// The text lands whole or not at all (see platform::WriteFileBytes).
// 1 when it was written, 0 when the path is empty, the open failed or the
// write failed (and was taken back).
int WriteTextFile(const std::string& strPath, std::string strText, int nLineEnd, int nAppend);

// The bytes that WriteTextFile puts into the file for the text: every line
// feed as CR LF, and CR LF at the end when nLineEnd is non-zero.
std::string MakeTextFileBytes(std::string strText, int nLineEnd);
