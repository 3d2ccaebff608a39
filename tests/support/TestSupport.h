// Helpers shared by the tests: temporary directories and whole-file reads.
#pragma once

#include <string>

// A fresh, empty directory, removed with its content when the object goes.
// Path() ends in the platform's path separator.
class CTempDir {
public:
    CTempDir();
    ~CTempDir();
    CTempDir(const CTempDir&) = delete;
    CTempDir& operator=(const CTempDir&) = delete;

    const std::string& Path() const { return m_strPath; }
    std::string File(const std::string& strName) const { return m_strPath + strName; }

private:
    std::string m_strPath;
};

// Makes the given directory count as the executable's directory for as long
// as the object lives (GetModuleDir, config.ini, log/).
class CModuleDirOverride {
public:
    explicit CModuleDirOverride(const std::string& strDir);
    ~CModuleDirOverride();
};

// The file's bytes; empty when it cannot be read.
std::string ReadWholeFile(const std::string& strPath);
// Writes the bytes as they are (no line-end translation).
void WriteWholeFile(const std::string& strPath, const std::string& strBytes);
// The test process's own home: a temporary directory made before any global
// object is built, standing in for the executable's directory.
const std::string& TestHomeDir();
