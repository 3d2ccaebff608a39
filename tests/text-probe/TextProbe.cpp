// Conversion probe, built by both builds.
//
//   TextProbe convert
//       prints the bytes CCharSet::UTF8ToANSI makes of every test input, in
//       hex, one line each. The inputs are every BMP character and a
//       fixed-seed set of malformed and random byte strings, made alike by
//       both builds.
//   TextProbe diff WINE_RUN WINDOWS_PROBE LIST WORK_DIR [--write-list]
//       (Linux) converts the inputs with this build and compares with the
//       Windows probe run under Wine. The characters whose bytes differ must
//       be exactly those of LIST ("XXXX BYTES" per line: code point and the
//       Windows build's bytes), the Windows build's best-fit mappings, which
//       the Linux build leaves to the plain default character. Each byte
//       string's Windows result must equal the Windows bytes of the
//       characters the Linux decoder reads from it. --write-list writes the
//       differing characters to LIST instead.
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

const uint32_t kCharacters = 0xFFFF;  // the first inputs: U+0001 .. U+FFFF

std::string EncodeUtf8(uint32_t u) {
    static const unsigned char kLead[] = {0, 0, 0xC0, 0xE0, 0xF0};
    if (u < 0x80) return std::string(1, static_cast<char>(u));
    size_t n = u < 0x800 ? 2 : u < 0x10000 ? 3 : 4;
    std::string s(n, '\0');
    for (size_t i = n - 1; i > 0; --i, u >>= 6) s[i] = static_cast<char>(0x80 | (u & 0x3F));
    s[0] = static_cast<char>(kLead[n] | u);
    return s;
}

// The characters (a surrogate as the empty string), then byte strings:
// stray and missing continuation bytes, overlong forms, surrogates, leads
// F0..FF, cut sequences, zero bytes.
std::vector<std::string> MakeInputs() {
    std::vector<std::string> inputs;
    for (uint32_t u = 1; u <= kCharacters; ++u) inputs.push_back(u >= 0xD800 && u < 0xE000 ? "" : EncodeUtf8(u));
    // The engine's numbers are fixed by the standard; a distribution's are not.
    std::mt19937 rng(20260307u);
    auto pick = [&](uint32_t lo, uint32_t hi) { return lo + static_cast<uint32_t>(rng() % (hi - lo + 1)); };
    static const unsigned char kLeads[] = {0xC0, 0xC1, 0xC2, 0xDF, 0xE0, 0xE1, 0xED, 0xEE, 0xEF,
                                           0xF0, 0xF1, 0xF4, 0xF5, 0xF7, 0xF8, 0xFC, 0xFE, 0xFF};
    for (int k = 0; k < 6000; ++k) {
        std::string s;
        for (uint32_t j = pick(1, 8); j > 0; --j) {
            const uint32_t nKind = pick(0, 4);
            if (nKind == 0) {
                s += static_cast<char>(pick(0, 20) == 0 ? 0 : pick(0x20, 0x7E));
            } else if (nKind == 1) {  // a whole character, sometimes cut short
                std::string c = EncodeUtf8(pick(0, 3) == 0 ? pick(0x10000, 0x10FFFF) : pick(0x80, 0xFFFF));
                if (pick(0, 2) == 0) c.resize(pick(1, static_cast<uint32_t>(c.size())));
                s += c;
            } else if (nKind == 2) {  // a chosen lead and continuation bytes of any value
                s += static_cast<char>(kLeads[pick(0, sizeof kLeads - 1)]);
                for (uint32_t m = pick(0, 4); m > 0; --m) s += static_cast<char>(pick(0x80, 0xBF));
            } else {  // a stray continuation byte, or any byte
                s += static_cast<char>(nKind == 3 ? pick(0x80, 0xBF) : pick(0, 255));
            }
        }
        inputs.push_back(s);
    }
    return inputs;
}

std::string Hex(const std::string& s) {
    std::string h;
    char sz[3];
    for (unsigned char c : s) {
        snprintf(sz, sizeof sz, "%02X", c);
        h += sz;
    }
    return h;
}

// This build's conversion of every input, in hex.
std::vector<std::string> ConvertAll(const std::vector<std::string>& inputs) {
    CCharSet charSet;
    std::vector<std::string> outputs;
    for (const std::string& s : inputs) {
        std::string strOut;
        charSet.UTF8ToANSI(strOut, s);
        outputs.push_back(Hex(strOut));
    }
    return outputs;
}

#ifndef _WIN32

int RunDiff(int argc, char** argv) {
    const std::string strList = argv[4], strWork = argv[5], strOut = strWork + "/conversion-windows.txt";
    const bool bWriteList = argc > 6 && std::string(argv[6]) == "--write-list";
    const std::vector<std::string> inputs = MakeInputs(), lin = ConvertAll(inputs);
    const std::string strCmd =
        "'" + std::string(argv[2]) + "' '" + argv[3] + "' convert > '" + strOut + "' 2>/dev/null";
    const int rc = std::system(strCmd.c_str());
    std::vector<std::string> win;
    std::ifstream results(strOut);
    for (std::string strLine; std::getline(results, strLine);) win.push_back(strLine.substr(0, strLine.find('\r')));
    if (rc != 0 || win.size() != inputs.size()) {
        fprintf(stderr, "the Windows probe failed (%d): %s\n", rc, strCmd.c_str());
        return 1;
    }

    // The characters whose bytes differ, in the list's own format.
    std::string strActual = "# Characters whose bytes differ between the builds: code point, Windows bytes\n";
    std::vector<bool> differs(kCharacters + 1, false);
    for (uint32_t u = 1; u <= kCharacters; ++u) {
        if (win[u - 1] == lin[u - 1]) continue;
        differs[u] = true;
        char sz[8];
        snprintf(sz, sizeof sz, "%04X ", u);
        strActual += sz + win[u - 1] + "\n";
    }
    const std::string strActualPath = bWriteList ? strList : strWork + "/best-fit.actual.txt";
    std::ofstream(strActualPath, std::ios::binary) << strActual;
    if (bWriteList) return 0;
    std::ifstream list(strList, std::ios::binary);
    const bool bListOk = std::string(std::istreambuf_iterator<char>(list), {}) == strActual;
    if (!bListOk) fprintf(stderr, "the differing characters are not those listed: diff %s %s\n", strList.c_str(),
                          strActualPath.c_str());

    // Byte strings: the Windows result is the Windows bytes of the characters
    // the Linux decoder reads, and the builds agree unless one is listed.
    size_t nStringFailures = 0;
    for (size_t k = kCharacters; k < inputs.size(); ++k) {
        const std::string& s = inputs[k];
        const size_t n = std::min(s.find('\0'), s.size());
        std::string strExpected;
        bool bListed = false;
        for (size_t i = 0; i < n;) {
            uint32_t cp;
            i += platform::DecodeUtf8Char(reinterpret_cast<const unsigned char*>(s.data()) + i, n - i, cp);
            strExpected += cp > 0xFFFF ? "3F3F" : cp < 0x80 ? Hex(std::string(1, static_cast<char>(cp))) : win[cp - 1];
            bListed = bListed || (cp <= 0xFFFF && differs[cp]);
        }
        if ((win[k] != strExpected || (!bListed && lin[k] != win[k])) && ++nStringFailures <= 20)
            fprintf(stderr, "input %s: windows %s linux %s expected %s\n", Hex(s).c_str(), win[k].c_str(),
                    lin[k].c_str(), strExpected.c_str());
    }
    printf("%u characters (list matches: %s), %zu byte strings (%zu disagree)\n", kCharacters, bListOk ? "yes" : "no",
           inputs.size() - kCharacters, nStringFailures);
    return (!bListOk || nStringFailures) ? 1 : 0;
}

#endif

}  // namespace

int main(int argc, char** argv) {
    const std::string strMode = argc > 1 ? argv[1] : "";
    if (strMode == "convert") {
        for (const std::string& s : ConvertAll(MakeInputs())) printf("%s\n", s.c_str());
        return 0;
    }
#ifndef _WIN32
    if (strMode == "diff" && argc >= 6) return RunDiff(argc, argv);
#endif
    fprintf(stderr, "usage: TextProbe convert | diff WINE_RUN WINDOWS_PROBE LIST WORK_DIR [--write-list]\n");
    return 2;
}
