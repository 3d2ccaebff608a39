// Conversion probe, built by both builds.
//
//   TextProbe convert IN OUT
//       converts every record of IN with CCharSet::UTF8ToANSI into OUT.
//   TextProbe diff WINE_RUN WINDOWS_PROBE LIST WORK_DIR [--write-list]
//       (Linux) converts every BMP character and a fixed-seed set of malformed
//       and random byte strings with this build and with the Windows probe
//       under Wine, and compares. The characters whose bytes differ must be
//       exactly those of LIST ("XXXX BYTES" per line: code point and the
//       Windows build's bytes), the Windows build's best-fit mappings, which
//       the Linux build leaves to the plain default character. Each byte
//       string's Windows result must equal the Windows bytes of the
//       characters the Linux decoder reads from it.
// Records: a 32-bit little-endian length, then the bytes.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "http/CharSet.h"

#ifndef _WIN32
#include "platform/posix/Utf8Decode.h"
#endif

namespace {

bool ReadRecords(const std::string& strPath, std::vector<std::string>& records) {
    std::ifstream in(strPath, std::ios::binary);
    if (!in) return false;
    std::string strAll((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    size_t i = 0;
    while (i + 4 <= strAll.size()) {
        const unsigned char* p = reinterpret_cast<const unsigned char*>(strAll.data() + i);
        size_t n = p[0] | p[1] << 8 | p[2] << 16 | static_cast<size_t>(p[3]) << 24;
        i += 4;
        if (n > strAll.size() - i) return false;
        records.push_back(strAll.substr(i, n));
        i += n;
    }
    return i == strAll.size();
}

bool WriteRecords(const std::string& strPath, const std::vector<std::string>& records) {
    std::ofstream out(strPath, std::ios::binary);
    for (const std::string& s : records) {
        uint32_t n = static_cast<uint32_t>(s.size());
        char len[4] = {static_cast<char>(n), static_cast<char>(n >> 8), static_cast<char>(n >> 16),
                       static_cast<char>(n >> 24)};
        out.write(len, 4);
        out.write(s.data(), static_cast<std::streamsize>(s.size()));
    }
    return static_cast<bool>(out);
}

std::vector<std::string> ConvertAll(const std::vector<std::string>& inputs) {
    CCharSet charSet;
    std::vector<std::string> outputs;
    outputs.reserve(inputs.size());
    for (const std::string& s : inputs) {
        std::string strOut;
        charSet.UTF8ToANSI(strOut, s);
        outputs.push_back(strOut);
    }
    return outputs;
}

int RunConvert(const std::string& strIn, const std::string& strOut) {
    std::vector<std::string> inputs;
    if (!ReadRecords(strIn, inputs)) {
        fprintf(stderr, "cannot read %s\n", strIn.c_str());
        return 2;
    }
    return WriteRecords(strOut, ConvertAll(inputs)) ? 0 : 2;
}

#ifndef _WIN32

std::string EncodeUtf8(uint32_t u) {
    static const unsigned char kLead[] = {0, 0, 0xC0, 0xE0, 0xF0};
    if (u < 0x80) return std::string(1, static_cast<char>(u));
    size_t n = u < 0x800 ? 2 : u < 0x10000 ? 3 : 4;
    std::string s(n, '\0');
    for (size_t i = n - 1; i > 0; --i, u >>= 6) s[i] = static_cast<char>(0x80 | (u & 0x3F));
    s[0] = static_cast<char>(kLead[n] | u);
    return s;
}

// Malformed and random byte strings: stray and missing continuation bytes,
// overlong forms, surrogates, leads F0..FF, cut sequences, zero bytes.
std::vector<std::string> MakeByteStrings(size_t nCount) {
    std::mt19937 rng(20260307u);
    auto pick = [&](uint32_t lo, uint32_t hi) {
        return std::uniform_int_distribution<uint32_t>(lo, hi)(rng);
    };
    static const unsigned char kLeads[] = {0xC0, 0xC1, 0xC2, 0xDF, 0xE0, 0xE1, 0xED, 0xEE, 0xEF,
                                           0xF0, 0xF1, 0xF4, 0xF5, 0xF7, 0xF8, 0xFC, 0xFE, 0xFF};
    std::vector<std::string> strings;
    for (size_t k = 0; k < nCount; ++k) {
        std::string s;
        uint32_t nPieces = pick(1, 8);
        for (uint32_t j = 0; j < nPieces; ++j) {
            switch (pick(0, 4)) {
            case 0:
                s += static_cast<char>(pick(0, 20) == 0 ? 0 : pick(0x20, 0x7E));
                break;
            case 1: {  // a whole character, sometimes cut short
                std::string c = EncodeUtf8(pick(0, 3) == 0 ? pick(0x10000, 0x10FFFF) : pick(0x80, 0xFFFF));
                if (pick(0, 2) == 0) c.resize(pick(1, static_cast<uint32_t>(c.size())));
                s += c;
                break;
            }
            case 2: {  // a chosen lead and continuation bytes of any value
                s += static_cast<char>(kLeads[pick(0, sizeof kLeads - 1)]);
                for (uint32_t m = pick(0, 4); m > 0; --m) s += static_cast<char>(pick(0x80, 0xBF));
                break;
            }
            case 3:
                s += static_cast<char>(pick(0x80, 0xBF));
                break;
            default:
                s += static_cast<char>(pick(0, 255));
                break;
            }
        }
        strings.push_back(s);
    }
    return strings;
}

std::string Hex(const std::string& s) {
    std::string h;
    char sz[4];
    for (unsigned char c : s) {
        snprintf(sz, sizeof sz, "%02X", c);
        h += sz;
    }
    return h;
}

int RunDiff(int argc, char** argv) {
    std::string strWineRun = argv[2], strProbe = argv[3], strList = argv[4], strWork = argv[5];
    bool bWriteList = argc > 6 && std::string(argv[6]) == "--write-list";

    std::vector<std::string> inputs;  // inputs[u - 1]: character u
    for (uint32_t u = 1; u < 0x10000; ++u) inputs.push_back(u >= 0xD800 && u < 0xE000 ? "" : EncodeUtf8(u));
    const size_t nChars = inputs.size();
    std::vector<std::string> strings = MakeByteStrings(6000);
    inputs.insert(inputs.end(), strings.begin(), strings.end());

    std::string strIn = strWork + "/conversion-in.bin", strOut = strWork + "/conversion-out.bin";
    if (!WriteRecords(strIn, inputs)) return 2;
    std::remove(strOut.c_str());
    std::string strCmd = "'" + strWineRun + "' '" + strProbe + "' convert '" + strIn + "' '" +
                         strOut + "' >/dev/null 2>&1";
    int rc = std::system(strCmd.c_str());
    std::vector<std::string> win;
    if (rc != 0 || !ReadRecords(strOut, win) || win.size() != inputs.size()) {
        fprintf(stderr, "the Windows probe failed (%d): %s\n", rc, strCmd.c_str());
        return 1;
    }
    std::vector<std::string> lin = ConvertAll(inputs);

    // The characters whose bytes differ, in the list's own format.
    std::string strActual = "# Characters whose bytes differ between the builds: code point, Windows bytes\n";
    std::vector<bool> differs(0x10000, false);
    for (uint32_t u = 1; u <= nChars; ++u) {
        if (win[u - 1] == lin[u - 1]) continue;
        differs[u] = true;
        char sz[8];
        snprintf(sz, sizeof sz, "%04X ", u);
        strActual += sz + Hex(win[u - 1]) + "\n";
    }
    std::string strActualPath = bWriteList ? strList : strWork + "/best-fit.actual.txt";
    std::ofstream(strActualPath, std::ios::binary) << strActual;
    if (bWriteList) return 0;
    std::ifstream list(strList, std::ios::binary);
    std::string strListed((std::istreambuf_iterator<char>(list)), std::istreambuf_iterator<char>());
    bool bListOk = strListed == strActual;
    if (!bListOk) fprintf(stderr, "the differing characters are not those listed: diff %s %s\n", strList.c_str(), strActualPath.c_str());

    // Byte strings: the Windows result is the Windows bytes of the characters
    // the Linux decoder reads, and the builds agree unless one is listed.
    size_t nStringFailures = 0;
    for (size_t k = nChars; k < inputs.size(); ++k) {
        const std::string& s = inputs[k];
        const unsigned char* p = reinterpret_cast<const unsigned char*>(s.data());
        size_t n = std::min(s.find('\0'), s.size());
        std::string strExpected;
        bool bListed = false;
        for (size_t i = 0; i < n;) {
            uint32_t cp;
            i += platform::DecodeUtf8Char(p + i, n - i, cp);
            strExpected += cp > 0xFFFF ? "??" : cp < 0x80 ? std::string(1, static_cast<char>(cp)) : win[cp - 1];
            bListed = bListed || (cp <= 0xFFFF && differs[cp]);
        }
        if ((win[k] != strExpected || (!bListed && lin[k] != win[k])) && ++nStringFailures <= 20)
            fprintf(stderr, "input %s: windows %s linux %s expected %s\n", Hex(s).c_str(),
                    Hex(win[k]).c_str(), Hex(lin[k]).c_str(), Hex(strExpected).c_str());
    }
    printf("%zu characters (list matches: %s), %zu byte strings (%zu disagree)\n", nChars,
           bListOk ? "yes" : "no", inputs.size() - nChars, nStringFailures);
    return (!bListOk || nStringFailures) ? 1 : 0;
}

#endif

}  // namespace

int main(int argc, char** argv) {
    std::string strMode = argc > 1 ? argv[1] : "";
    if (strMode == "convert" && argc == 4) return RunConvert(argv[2], argv[3]);
#ifndef _WIN32
    if (strMode == "diff" && argc >= 6) return RunDiff(argc, argv);
#endif
    fprintf(stderr, "usage: TextProbe convert IN OUT | diff WINE_RUN WINDOWS_PROBE LIST WORK_DIR\n");
    return 2;
}
