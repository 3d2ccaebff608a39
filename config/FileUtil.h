// Files beside the executable: its directory, path tests and the text-file
// writer through which every text file of the system is written.
#pragma once

#include <string>

// Directory of the running executable, ending in the path separator
// ('\\' on Windows, '/' on Linux); empty when it cannot be found.
std::string GetModuleDir();

// The kind of path PathExists asks for (its directory flag).
const int kPathIsFile = 0;
const int kPathIsDirectory = 1;

// True when the path exists and is of the kind asked for (nDirFlag).
bool PathExists(const std::string& strPath, int nDirFlag);

// The line-end flag and the append flag of WriteTextFile.
const int kNoLineEnd = 0;
const int kAddLineEnd = 1;
const int kReplaceFile = 0;
const int kAppendToFile = 1;

// Writes the text (plus "\n" with kAddLineEnd), replacing the file
// (kReplaceFile) or appending to it (kAppendToFile). Every line feed is
// written as CR LF on both builds. The text lands whole or not at all (see
// platform::WriteFileBytes). 1 when it was written, 0 when the path is
// empty, the open failed or the write failed (and was taken back).
int WriteTextFile(const std::string& strPath, std::string strText, int nLineEnd, int nAppend);

// The bytes that WriteTextFile puts into the file for the text: every line
// feed as CR LF, and CR LF at the end when bLineEnd is set.
std::string MakeTextFileBytes(std::string strText, bool bLineEnd);
