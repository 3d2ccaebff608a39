// Reduction and judgement of generated pages of 1, 16 and 64 MiB.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>

#include "http/CharSet.h"
#include "log/LogWriter.h"
#include "platform/Platform.h"
#include "refresh/Judge.h"
#include "refresh/VisibleText.h"
#include "tests/support/TestEnv.h"

namespace {

enum EPageKind { kMarkup, kBlanks, kGbk, kUtf8 };

const char* const kKindNames[] = {"markup", "blanks", "gbk", "utf8"};

// A page of the given kind, filled to exactly nSize bytes by a fixed pattern.
std::string MakePage(int nKind, size_t nSize) {
    std::string strUnit;
    switch (nKind) {
    case kMarkup:
        strUnit = "<div class=\"item\" id=\"n1\"><a href=\"/news/2026/03/07?id=1&amp;p=2\">"
                  "Link</a><span style=\"color:red\"></span><img src=\"a.png\"/></div>\n";
        break;
    case kBlanks:
        strUnit = "Lorem ipsum  dolor sit amet,\tconsectetur   adipiscing elit &lt;b&gt;\r\n"
                  "    sed do eiusmod tempor <b>incididunt</b> ut labore\t\tet dolore\r\n";
        break;
    case kGbk:  // 中文网页内容，全角空格　分隔 in code page 936
        strUnit = "<p>\xd6\xd0\xce\xc4\xcd\xf8\xd2\xb3\xc4\xda\xc8\xdd\xa3\xac\xc8\xab\xbd\xc7"
                  "\xbf\xd5\xb8\xf1\xa1\xa1\xb7\xd6\xb8\xf4 2026</p>\r\n";
        break;
    default:  // the same text in UTF-8
        strUnit = "<p>\xe4\xb8\xad\xe6\x96\x87\xe7\xbd\x91\xe9\xa1\xb5\xe5\x86\x85\xe5\xae\xb9"
                  "\xef\xbc\x8c\xe5\x85\xa8\xe8\xa7\x92\xe7\xa9\xba\xe6\xa0\xbc\xe3\x80\x80"
                  "\xe5\x88\x86\xe9\x9a\x94 2026</p>\r\n";
        break;
    }
    std::string strPage;
    strPage.reserve(nSize + strUnit.size());
    while (strPage.size() < nSize) strPage += strUnit;
    strPage.resize(nSize);
    return strPage;
}

void BM_ExtractVisibleText(benchmark::State& state) {
    std::string strPage = MakePage(static_cast<int>(state.range(0)), static_cast<size_t>(state.range(1)) << 20);
    state.SetLabel(kKindNames[state.range(0)]);
    std::string strOut;
    for (auto _ : state) {
        // The caller's copy of the page is made (and the last result freed)
        // outside the measured time.
        state.PauseTiming();
        strOut = std::string();
        std::string strText = strPage;
        state.ResumeTiming();
        strOut = ExtractVisibleText(std::move(strText));
        benchmark::DoNotOptimize(strOut.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(strPage.size()));
}

// The whole judgement of a 200 answer: cuts, UTF-8 test and conversion,
// reduction and the cache file (daily log off).
void BM_JudgeAnswer(benchmark::State& state) {
    std::string strPage = MakePage(static_cast<int>(state.range(0)), static_cast<size_t>(state.range(1)) << 20);
    state.SetLabel(kKindNames[state.range(0)]);
    std::filesystem::path dir = std::filesystem::temp_directory_path() / "vlm-bench-judge";
    std::filesystem::create_directories(dir);
    CTestEnv env;
    env.m_strExecutable = (dir / "VlmRefreshSvc").string();
    CLogWriter writer;
    CCharSet charSet;
    std::string strText;
    for (auto _ : state) {
        state.PauseTiming();
        strText = strPage;
        state.ResumeTiming();
        JudgeAnswer(200, strText, 0, writer, charSet);
        benchmark::DoNotOptimize(strText.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(strPage.size()));
    std::filesystem::remove_all(dir);
}

void PageArgs(benchmark::internal::Benchmark* b) {
    for (int nKind : {kMarkup, kBlanks, kGbk, kUtf8})
        for (int nMiB : {1, 16, 64}) b->Args({nKind, nMiB});
    b->ArgNames({"kind", "MiB"})->Unit(benchmark::kMillisecond)->UseRealTime();
}

BENCHMARK(BM_ExtractVisibleText)->Apply(PageArgs);
BENCHMARK(BM_JudgeAnswer)->Apply(PageArgs);

}  // namespace
