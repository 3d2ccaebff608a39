#include "platform/IniText.h"

#include <cstring>
#include <vector>

namespace platform {
namespace ini {

namespace {

struct SLine {
    size_t nBegin;  // first byte of the line
    size_t nEnd;    // byte after the line's text (before CR LF / LF)
    size_t nNext;   // first byte of the next line
};

std::vector<SLine> SplitLines(const std::string& s) {
    std::vector<SLine> lines;
    size_t i = 0;
    while (i < s.size()) {
        size_t nl = s.find('\n', i);
        size_t end = nl == std::string::npos ? s.size() : nl;
        size_t next = nl == std::string::npos ? s.size() : nl + 1;
        size_t textEnd = end;
        if (textEnd > i && s[textEnd - 1] == '\r') --textEnd;
        lines.push_back({i, textEnd, next});
        i = next;
    }
    return lines;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string Trim(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && IsBlank(s[b])) ++b;
    while (e > b && IsBlank(s[e - 1])) --e;
    return s.substr(b, e - b);
}

bool EqualNoCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

// Section name of a header line, or false when the line is no header.
bool SectionOf(const std::string& line, std::string& name) {
    std::string t = Trim(line);
    if (t.size() < 2 || t[0] != '[') return false;
    size_t close = t.find(']');
    if (close == std::string::npos) return false;
    name = Trim(t.substr(1, close - 1));
    return true;
}

bool KeyValueOf(const std::string& line, std::string& key, std::string& value) {
    std::string t = Trim(line);
    if (t.empty() || t[0] == ';') return false;
    size_t eq = t.find('=');
    if (eq == std::string::npos) return false;
    key = Trim(t.substr(0, eq));
    value = Trim(t.substr(eq + 1));
    return true;
}

}  // namespace

std::string ReadValue(const std::string& strText, const std::string& strSection,
                      const std::string& strKey, const std::string& strDefault, size_t nSize) {
    std::string result = strDefault;
    bool bInSection = false, bSeenSection = false;
    for (const SLine& l : SplitLines(strText)) {
        std::string line = strText.substr(l.nBegin, l.nEnd - l.nBegin);
        std::string name;
        if (SectionOf(line, name)) {
            if (bSeenSection && bInSection) break;
            bInSection = EqualNoCase(name, strSection);
            if (bInSection) bSeenSection = true;
            continue;
        }
        std::string key, value;
        if (bInSection && KeyValueOf(line, key, value) && EqualNoCase(key, strKey)) {
            if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
                value = value.substr(1, value.size() - 2);
            result = value;
            break;
        }
    }
    if (nSize == 0) return std::string();
    if (result.size() > nSize - 1) result.resize(nSize - 1);
    return result;
}

std::string WriteValue(const std::string& strText, const std::string& strSection,
                       const std::string& strKey, const std::string& strValue) {
    std::vector<SLine> lines = SplitLines(strText);
    bool bInSection = false;
    size_t nInsertAt = std::string::npos;  // end of the section's last key line
    for (const SLine& l : lines) {
        std::string line = strText.substr(l.nBegin, l.nEnd - l.nBegin);
        std::string name;
        if (SectionOf(line, name)) {
            if (nInsertAt != std::string::npos) break;
            bInSection = EqualNoCase(name, strSection);
            if (bInSection) nInsertAt = l.nNext;
            continue;
        }
        std::string key, value;
        if (bInSection && KeyValueOf(line, key, value)) {
            if (EqualNoCase(key, strKey)) {
                return strText.substr(0, l.nBegin) + strKey + "=" + strValue + "\r\n" +
                       strText.substr(l.nNext);
            }
            nInsertAt = l.nNext;
        }
    }
    std::string out = strText;
    if (nInsertAt == std::string::npos) {
        if (!out.empty() && out.back() != '\n') out += "\r\n";
        out += "[" + strSection + "]\r\n" + strKey + "=" + strValue + "\r\n";
        return out;
    }
    std::string insert = strKey + "=" + strValue + "\r\n";
    if (nInsertAt > 0 && out[nInsertAt - 1] != '\n') insert = "\r\n" + insert;
    return out.insert(nInsertAt, insert);
}

}  // namespace ini
}  // namespace platform
