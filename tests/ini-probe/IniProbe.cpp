// Runs the INI operation scripts of a corpus through this build's profile
// functions and prints every read result and the file's bytes after every
// write, hex-encoded, one line each. Built for Linux and for Windows from this
// one source, so that the two outputs can be compared line by line.
//
//   IniProbe <corpus dir> <work dir>
//
// Both directories in the build's own form, ending in its path separator.
// A case is a script <name>.ops and, optionally, the starting file <name>.ini
// (no .ini: the file is missing). The script is copied into the work dir as
// config.ini and the operations run on that copy. Script lines:
//   # comment                      ignored
//   dir                            make config.ini a directory instead
//   R <section> <key> [size [default]]  read (buffer of size bytes, default 2048)
//   W <section> <key> <value>      write, then dump the file
// Fields are separated by one TAB; escapes are decoded in them (see Unescape).
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "platform/Platform.h"
#include "platform/Profile.h"

namespace fs = std::filesystem;

namespace {

// Decodes \xNN, \t, \r, \n, \\ and \R<count><byte> (the byte repeated).
std::string Unescape(const std::string& s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '\\' || i + 1 == s.size()) {
            out += s[i];
            continue;
        }
        char n = s[++i];
        if (n == 'x') {
            out += static_cast<char>(std::stoi(s.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else if (n == 'R') {
            size_t nDigits = 0;
            size_t nCount = std::stoul(s.substr(i + 1), &nDigits);
            i += nDigits + 1;
            out.append(nCount, s[i]);
        } else {
            out += n == 't' ? '\t' : n == 'r' ? '\r' : n == 'n' ? '\n' : n;
        }
    }
    return out;
}

std::string Hex(const std::string& s) {
    static const char kDigits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : s) out.append({kDigits[c >> 4], kDigits[c & 15]});
    return out;
}

std::string FileState(const std::string& strPath) {
    int nKind = platform::GetPathKind(strPath);
    if (nKind < 0) return "missing";
    if (nKind == 1) return "directory";
    std::string strBytes;
    platform::ReadFileBytes(strPath, strBytes);
    return "file " + Hex(strBytes);
}

void RunCase(const std::string& strCorpus, const std::string& strWork, const std::string& strName) {
    const std::string strDir = strWork + strName + platform::kPathSep, strFile = strDir + "config.ini";
    std::error_code ec;
    fs::remove_all(fs::u8path(strDir), ec);
    platform::CreateDir(strDir);
    std::string strScript, strStart;
    platform::ReadFileBytes(strCorpus + strName + ".ops", strScript);
    if (platform::ReadFileBytes(strCorpus + strName + ".ini", strStart))
        platform::WriteFileBytes(strFile, strStart, platform::kFileReplace);

    printf("case %s\n", strName.c_str());
    std::istringstream script(strScript);
    std::string line;
    for (int nLine = 1; std::getline(script, line); ++nLine) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '#') continue;
        std::vector<std::string> f;  // the fields, unescaped; a TAB at the end gives an empty one
        std::istringstream fields(line + "\t");
        for (std::string strField; std::getline(fields, strField, '\t');) f.push_back(Unescape(strField));
        if (f[0] == "dir") {
            platform::CreateDir(strFile);
        } else if (f[0] == "R" && f.size() >= 3) {
            size_t nSize = f.size() >= 4 ? static_cast<size_t>(atol(f[3].c_str())) : 2048;
            std::string v = platform::ReadProfileValue(f[1], f[2], f.size() >= 5 ? f[4] : "", strFile, nSize);
            printf("%d R %s\n", nLine, Hex(v).c_str());
        } else if (f[0] == "W" && f.size() >= 4) {
            bool bOk = platform::WriteProfileValue(f[1], f[2], f[3], strFile);
            printf("%d W %d %s\n", nLine, bOk ? 1 : 0, FileState(strFile).c_str());
        } else {
            printf("%d bad script line\n", nLine);
        }
    }
    fs::remove_all(fs::u8path(strDir), ec);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: IniProbe <corpus dir> <work dir>\n");
        return 2;
    }
    const std::string strCorpus = argv[1], strWork = argv[2];
    std::vector<std::string> names;
    for (const fs::directory_entry& e : fs::directory_iterator(fs::u8path(strCorpus)))
        if (e.path().extension() == ".ops") names.push_back(e.path().stem().string());
    std::sort(names.begin(), names.end());
    for (const std::string& n : names) RunCase(strCorpus, strWork, n);
    return 0;
}
