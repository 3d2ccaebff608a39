#include "platform/posix/RegStoreText.h"

#include <cerrno>
#include <cstdlib>
#include <vector>

#include "platform/posix/ErrnoGuard.h"
#include "platform/posix/TextBytes.h"

namespace platform {
namespace regstore {

namespace {

std::string Trim(const std::string& s) { return Trimmed(s, " \t\r"); }

// The store as lines, with the lookups the registry calls need.
class CStoreLines {
public:
    explicit CStoreLines(const std::string& strBytes) {
        size_t nStart = 0;
        while (nStart < strBytes.size()) {
            size_t nEnd = strBytes.find('\n', nStart);
            if (nEnd == std::string::npos) nEnd = strBytes.size();
            m_lines.push_back(strBytes.substr(nStart, nEnd - nStart));
            nStart = nEnd + 1;
        }
    }

    std::string Bytes(bool bExisted) const {
        std::string strBytes;
        if (!bExisted) {
            strBytes +=
                "# Registry values of the VlmRefresh service (see docs/service.md).\n"
                "# [key path] lines open a key; then one value a line:\n"
                "#   Name = 10          a 32-bit number (decimal, or 0x hexadecimal)\n"
                "#   Name = \"text\"      a text; expand:\"text\" an expandable text\n";
        }
        for (const std::string& strLine : m_lines) strBytes += strLine + "\n";
        return strBytes;
    }

    // Index of the key's header line, or -1.
    long FindKey(const std::string& strKey) const {
        for (size_t i = 0; i < m_lines.size(); ++i) {
            std::string strLine = Trim(m_lines[i]);
            if (strLine.size() >= 2 && strLine.front() == '[' && strLine.back() == ']' &&
                EqualNoCaseAscii(Trim(strLine.substr(1, strLine.size() - 2)), strKey)) {
                return static_cast<long>(i);
            }
        }
        return -1;
    }

    // Index of the value's line in the key that starts at nKey, or -1; nEnd
    // gets the index where the key's lines end.
    long FindValue(long nKey, const std::string& strName, size_t& nEnd) const {
        nEnd = m_lines.size();
        for (size_t i = static_cast<size_t>(nKey) + 1; i < m_lines.size(); ++i) {
            std::string strLine = Trim(m_lines[i]);
            if (!strLine.empty() && strLine.front() == '[') {
                nEnd = i;
                break;
            }
            if (strLine.empty() || strLine.front() == '#' || strLine.front() == ';') continue;
            size_t nEq = strLine.find('=');
            if (nEq != std::string::npos && EqualNoCaseAscii(Trim(strLine.substr(0, nEq)), strName)) {
                return static_cast<long>(i);
            }
        }
        return -1;
    }

    std::string ValueText(long nLine) const {
        const std::string& strLine = m_lines[static_cast<size_t>(nLine)];
        return Trim(strLine.substr(strLine.find('=') + 1));
    }

    long AddKey(const std::string& strKey) {
        if (!m_lines.empty() && !Trim(m_lines.back()).empty()) m_lines.push_back("");
        m_lines.push_back("[" + strKey + "]");
        return static_cast<long>(m_lines.size() - 1);
    }

    void SetValue(long nKey, const std::string& strName, const std::string& strData) {
        size_t nEnd = 0;
        long nLine = FindValue(nKey, strName, nEnd);
        std::string strLine = strName + " = " + strData;
        if (nLine >= 0) {
            m_lines[static_cast<size_t>(nLine)] = strLine;
            return;
        }
        // After the key's last non-blank line.
        while (nEnd > static_cast<size_t>(nKey) + 1 && Trim(m_lines[nEnd - 1]).empty()) --nEnd;
        m_lines.insert(m_lines.begin() + static_cast<long>(nEnd), strLine);
    }

private:
    std::vector<std::string> m_lines;
};

}  // namespace

bool ParseNumber(const std::string& strText, int32_t& nValue) {
    size_t nAt = 0;
    bool bNegative = false;
    if (nAt < strText.size() && (strText[nAt] == '+' || strText[nAt] == '-')) {
        bNegative = strText[nAt] == '-';
        ++nAt;
    }
    int nBase = 10;
    if (strText.size() - nAt > 2 && strText[nAt] == '0' && (strText[nAt + 1] | 0x20) == 'x') {
        nBase = 16;
        nAt += 2;
    }
    // Digits only from here: strtoull would also take blanks and a sign.
    if (nAt >= strText.size()) return false;
    for (size_t i = nAt; i < strText.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(strText[i]);
        bool bDigit = (c >= '0' && c <= '9') ||
                      (nBase == 16 && ((c | 0x20) >= 'a' && (c | 0x20) <= 'f'));
        if (!bDigit) return false;
    }
    // strtoull sets errno on overflow; the caller's errno is kept.
    unsigned long long n = 0;
    bool bOverflow = false;
    {
        CErrnoGuard guard;
        errno = 0;
        n = strtoull(strText.c_str() + nAt, nullptr, nBase);
        bOverflow = errno != 0;
    }
    if (bOverflow) return false;
    if (bNegative ? n > static_cast<unsigned long long>(INT32_MAX) + 1 : n > UINT32_MAX) return false;
    uint32_t nBits = static_cast<uint32_t>(n);
    nValue = static_cast<int32_t>(bNegative ? 0u - nBits : nBits);
    return true;
}

bool HasKey(const std::string& strText, const std::string& strKey) {
    return CStoreLines(strText).FindKey(strKey) >= 0;
}

bool ReadNumber(const std::string& strText, const std::string& strKey,
                const std::string& strName, int32_t& nValue) {
    CStoreLines store(strText);
    long nKey = store.FindKey(strKey);
    if (nKey < 0) return false;
    size_t nEnd = 0;
    long nLine = store.FindValue(nKey, strName, nEnd);
    if (nLine < 0) return false;
    int32_t nRead = 0;
    if (!ParseNumber(store.ValueText(nLine), nRead)) return false;
    nValue = nRead;
    return true;
}

bool AddKey(const std::string& strText, bool bExisted, const std::string& strKey,
            std::string& strOut) {
    CStoreLines store(strText);
    if (store.FindKey(strKey) >= 0) return false;
    store.AddKey(strKey);
    strOut = store.Bytes(bExisted);
    return true;
}

std::string SetValue(const std::string& strText, bool bExisted, const std::string& strKey,
                     const std::string& strName, const std::string& strData) {
    CStoreLines store(strText);
    long nKey = store.FindKey(strKey);
    if (nKey < 0) nKey = store.AddKey(strKey);
    store.SetValue(nKey, strName, strData);
    return store.Bytes(bExisted);
}

std::string NumberData(uint32_t nData) { return std::to_string(static_cast<int32_t>(nData)); }

std::string TextData(const std::string& strUtf8, bool bExpand) {
    return std::string(bExpand ? "expand:" : "") + "\"" + strUtf8 + "\"";
}

}  // namespace regstore
}  // namespace platform
