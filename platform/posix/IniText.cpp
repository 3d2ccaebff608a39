#include "platform/posix/IniText.h"

#include <vector>

#include "platform/posix/TextBytes.h"

namespace platform {
namespace ini {

namespace {

const char kUtf8Bom[] = "\xef\xbb\xbf";

struct SEntry {
    std::string strName;
    std::string strValue;
    bool bHasValue;  // false for a line without '='
};

struct SSection {
    std::string strName;  // empty for the lines before the first header
    std::vector<SEntry> entries;
};

// The blanks around lines, names and values; Ctrl-Z (0x1A, an old end-of-file
// mark) counts as one.
const char kBlanks[] = " \t\v\f\x1a";

// The bytes as the profile functions see them after their trip through
// UTF-16: a lead byte with a proper trail byte stays, a lead byte with any
// other byte becomes one '?' together with it (a following zero byte stays).
// A lead byte at the very end becomes '?' in file text and is dropped from an
// argument; an argument also ends at its first zero byte.
enum ETextKind { kFileText, kArgumentText };
std::string Normalize(const char* p, size_t n, ETextKind eKind) {
    const bool bArgument = eKind == kArgumentText;
    std::string out;
    out.reserve(n);
    size_t i = 0;
    while (i < n) {
        unsigned char c = static_cast<unsigned char>(p[i]);
        if (bArgument && c == 0) break;
        if (!IsLeadByte(c)) {
            out += static_cast<char>(c);
            ++i;
            continue;
        }
        if (i + 1 >= n || (bArgument && p[i + 1] == 0)) {
            if (!bArgument) out += '?';
            break;
        }
        unsigned char t = static_cast<unsigned char>(p[i + 1]);
        if (IsTrailByte(t)) {
            out += static_cast<char>(c);
            out += static_cast<char>(t);
            i += 2;
        } else {
            out += '?';
            i += t == 0 ? 1 : 2;
        }
    }
    return out;
}

std::string NormalizeArgument(const std::string& s) { return Normalize(s.data(), s.size(), kArgumentText); }

void TrimLeft(const std::string& s, size_t& b, size_t e) { TrimFront(s, b, e, kBlanks); }

void TrimRight(const std::string& s, size_t b, size_t& e) { TrimBack(s, b, e, kBlanks); }

std::string TrimmedLeft(const std::string& s) {
    size_t b = 0;
    TrimLeft(s, b, s.size());
    return s.substr(b);
}

std::string Trimmed(const std::string& s) { return platform::Trimmed(s, kBlanks); }

// The bytes from b to e, up to the first zero byte among them.
std::string Slice(const std::string& s, size_t b, size_t e) {
    size_t z = b;
    while (z < e && s[z] != 0) ++z;
    return s.substr(b, z - b);
}

// A lead byte here takes the next byte with it whatever it is (after a byte
// order mark the text is not code page 936; other file text is normalized).
size_t CharLen(const std::string& s, size_t i) {
    return IsLeadByte(static_cast<unsigned char>(s[i])) && i + 1 < s.size() ? 2 : 1;
}

// Names match without regard to the case of ASCII letters; the trail byte of
// a double-byte character is compared as it is.
bool EqualNoCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size();) {
        size_t n = CharLen(a, i);
        if (n == 2) {
            if (a[i] != b[i] || a[i + 1] != b[i + 1]) return false;
        } else {
            if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
        }
        i += n;
    }
    return true;
}

struct SDocument {
    bool bUtf8Bom = false;
    std::vector<SSection> sections;
};

void ParseLine(const std::string& s, size_t b, size_t e, SDocument& doc) {
    TrimLeft(s, b, e);
    TrimRight(s, b, e);
    if (b == e) return;
    if (s[b] == '[') {
        // The last ']' that is a character of its own, not a trail byte.
        size_t nClose = e;
        for (size_t i = b + 1; i < e; i += doc.bUtf8Bom ? 1 : CharLen(s, i)) {
            if (s[i] == ']') nClose = i;
        }
        if (nClose < e) {
            size_t nb = b + 1, ne = nClose;
            TrimLeft(s, nb, ne);
            TrimRight(s, nb, ne);
            doc.sections.push_back(SSection{Slice(s, nb, ne), {}});
            return;
        }
    }
    SEntry entry;
    size_t q = b;
    while (q < e && s[q] != '=') ++q;
    std::vector<SEntry>& entries = doc.sections.back().entries;
    if (q < e) {
        // A line starting with '=' right after an entry whose name reads
        // empty is not kept. A name that is empty only because it starts
        // with a zero byte counts as a name here: such a line stays.
        if (q == b && !entries.empty() && entries.back().strName.empty()) return;
        size_t ne = q, vb = q + 1;
        TrimRight(s, b, ne);
        TrimLeft(s, vb, e);
        entry = SEntry{Slice(s, b, ne), Slice(s, vb, e), true};
    } else {
        entry = SEntry{Slice(s, b, e), std::string(), false};
    }
    entries.push_back(std::move(entry));
}

SDocument Parse(const std::string& strText) {
    SDocument doc;
    size_t nStart = 0;
    if (strText.compare(0, 3, kUtf8Bom) == 0) {
        doc.bUtf8Bom = true;
        nStart = 3;
    }
    // Text after a byte order mark is UTF-8 and kept as it is.
    std::string s = doc.bUtf8Bom ? strText.substr(nStart)
                                 : Normalize(strText.data(), strText.size(), kFileText);
    doc.sections.push_back(SSection());
    size_t b = 0;
    for (size_t i = 0; i <= s.size(); ++i) {
        if (i == s.size() || s[i] == '\r' || s[i] == '\n') {
            ParseLine(s, b, i, doc);
            b = i + 1;
        }
    }
    return doc;
}

std::string Serialize(const SDocument& doc) {
    std::string out;
    if (doc.bUtf8Bom) out += kUtf8Bom;
    for (const SSection& sec : doc.sections) {
        if (!sec.strName.empty()) out += "[" + sec.strName + "]\r\n";
        for (const SEntry& e : sec.entries) {
            out += e.strName;
            if (e.bHasValue) {
                out += '=';
                out += e.strValue;
            }
            out += "\r\n";
        }
    }
    return out;
}

SSection* FindSection(SDocument& doc, const std::string& strName) {
    for (SSection& sec : doc.sections) {
        if (EqualNoCase(sec.strName, strName)) return &sec;
    }
    return nullptr;
}

SEntry* FindEntry(SSection& sec, const std::string& strName) {
    for (SEntry& e : sec.entries) {
        if (EqualNoCase(e.strName, strName)) return &e;
    }
    return nullptr;
}

// The longest prefix of whole characters that fits into nSize - 1 bytes.
std::string CutToBuffer(const std::string& s, size_t nSize) {
    if (nSize == 0) return std::string();
    size_t nMax = nSize - 1, i = 0;
    while (i < s.size()) {
        size_t nLen = CharLen(s, i);
        if (i + nLen > nMax) break;
        i += nLen;
    }
    return s.substr(0, i);
}

}  // namespace

std::string ReadValue(const std::string& strText, const std::string& strSection,
                      const std::string& strKey, const std::string& strDefault, size_t nSize) {
    SDocument doc = Parse(strText);
    SSection* pSection = FindSection(doc, Trimmed(NormalizeArgument(strSection)));
    SEntry* pEntry = pSection ? FindEntry(*pSection, Trimmed(NormalizeArgument(strKey))) : nullptr;
    if (!pEntry || !pEntry->bHasValue) {
        // The default loses its trailing spaces (other blanks stay).
        std::string d = NormalizeArgument(strDefault);
        size_t e = d.size();
        while (e > 0 && d[e - 1] == ' ') --e;
        return CutToBuffer(d.substr(0, e), nSize);
    }
    std::string v = pEntry->strValue;
    if (v.size() >= 2 && (v[0] == '"' || v[0] == '\'') && v.back() == v[0])
        v = v.substr(1, v.size() - 2);
    return CutToBuffer(v, nSize);
}

bool WriteValue(const std::string& strText, const std::string& strSection,
                const std::string& strKey, const std::string& strValue, std::string& strOut) {
    SDocument doc = Parse(strText);
    // New names and the value lose their leading blanks; trailing ones stay
    // until the file is read again.
    std::string strSectionArg = TrimmedLeft(NormalizeArgument(strSection));
    std::string strKeyArg = TrimmedLeft(NormalizeArgument(strKey));
    std::string strValueArg = TrimmedLeft(NormalizeArgument(strValue));
    SSection* pSection = FindSection(doc, Trimmed(strSectionArg));
    if (!pSection) {
        doc.sections.push_back(SSection{strSectionArg, {}});
        pSection = &doc.sections.back();
    }
    SEntry* pEntry = FindEntry(*pSection, Trimmed(strKeyArg));
    if (pEntry) {
        if (pEntry->bHasValue && pEntry->strValue == strValueArg) return false;
        pEntry->strValue = strValueArg;
        pEntry->bHasValue = true;
    } else {
        pSection->entries.push_back(SEntry{strKeyArg, strValueArg, true});
    }
    strOut = Serialize(doc);
    return true;
}

}  // namespace ini
}  // namespace platform
