// Files beside the executable: its directory, kinds of paths, text files.
// config.ini itself is shown by the INI corpus (tests/ini-corpus/) and the
// first-start test of both builds (tests/ini-probe/first-start.sh).
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "config/FileUtil.h"
#include "platform/Platform.h"
#include "support/TestSupport.h"

namespace {

// '|' in a path pattern stands for this build's separator.
std::string P(std::string s) {
    std::replace(s.begin(), s.end(), '|', platform::kPathSep);
    return s;
}

TEST(GetModuleDir, CutsAtTheLastRealSeparator) {
    const std::string strLong = "C:|" + std::string(300, 'd') + "|";  // beyond the Windows path limit
    struct { std::string strModule, strDir; } const cases[] = {
        {"C:|VlmRefreshSvc.exe", "C:|"},          // root of a drive
        {"|VlmRefreshSvc.exe", "|"},               // root of the file system
        {"C:|a|b|VlmRefreshSvc.exe", "C:|a|b|"},
        {"C:|dir|", "C:|dir|"},                    // already ends in the separator
        // "昞" is 0x95 0x5C: its second byte is no backslash.
        {"C:|d\x95\x5cx.exe", "C:|"}, {"C:|\x95\x5c|\x95\x5c.exe", "C:|\x95\x5c|"},
        {"VlmRefreshSvc.exe", ""},                 // no separator at all
        {strLong + "VlmRefreshSvc.exe", strLong},
    };
    CTestEnv env;
    for (const auto& c : cases) {
        env.m_strExecutable = P(c.strModule);
        EXPECT_EQ(GetModuleDir(), P(c.strDir)) << c.strModule;
    }
}

TEST(PathExists, KindMustMatchTheFlag) {
    CTempDir dir;
    WriteWholeFile(dir.File("file.txt"), "x");
    platform::CreateDir(dir.File("sub"));
    // The path and whether it exists with the flag 0 (a file) and with the flag 1 (a directory).
    struct { std::string strPath; bool bAsFile, bAsDirectory; } const cases[] = {
        {dir.File("file.txt"), true, false}, {dir.File("sub"), false, true},
        {dir.File("missing"), false, false}, {"", false, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(PathExists(c.strPath, kPathIsFile), c.bAsFile) << c.strPath;
        EXPECT_EQ(PathExists(c.strPath, kPathIsDirectory), c.bAsDirectory) << c.strPath;
    }
}

// Replace and append, CR LF line ends, a path in code page 936, and the
// paths that cannot be opened.
TEST(WriteTextFile, ReplacesAppendsAndFailsWithoutOpening) {
    CTempDir dir;
    std::string f = dir.File("t.txt");
    WriteWholeFile(f, "old content");
    EXPECT_EQ(WriteTextFile(f, "", kNoLineEnd, kReplaceFile), 1);  // emptied: the appends below start the file
    EXPECT_EQ(WriteTextFile(f, "one", kAddLineEnd, kAppendToFile), 1);
    EXPECT_EQ(WriteTextFile(f, "a\nb", kNoLineEnd, kAppendToFile), 1);
    EXPECT_EQ(ReadWholeFile(f), "one\r\na\r\nb");
    EXPECT_EQ(WriteTextFile(f, "\xd6\xd0\n", kAddLineEnd, kReplaceFile), 1);  // "中"
    EXPECT_EQ(ReadWholeFile(f), "\xd6\xd0\r\n\r\n");
    // "中文" as a directory name and "日志.txt" as a file name.
    std::string strSub = dir.File("\xd6\xd0\xce\xc4");
    ASSERT_TRUE(platform::CreateDir(strSub));
    std::string g = strSub + platform::kPathSep + "\xc8\xd5\xd6\xbe.txt";
    EXPECT_EQ(WriteTextFile(g, "x", kAddLineEnd, kAppendToFile), 1);
    EXPECT_EQ(ReadWholeFile(g), "x\r\n");

    EXPECT_EQ(WriteTextFile("", "x", kAddLineEnd, kReplaceFile), 0);
    EXPECT_EQ(WriteTextFile(dir.File(P("missing|t.txt")), "x", kAddLineEnd, kReplaceFile), 0);
    EXPECT_FALSE(PathExists(dir.File("missing"), kPathIsDirectory));
    EXPECT_EQ(WriteTextFile(strSub, "x", kAddLineEnd, kAppendToFile), 0);  // a directory
}

// A record (head, body, tail) lands whole in each way of writing, and the
// body comes back as it was, also one without room beyond its size and from
// a failed write (Windows lays the record out in the body's buffer).
TEST(WriteFileRecord, LandsWholeAndGivesTheBodyBack) {
    CTempDir dir;
    std::string strBody = Repeat("body ", 999), f = dir.File("r.txt");
    strBody.shrink_to_fit();
    const std::string strCopy = strBody, strRecord = "2026-03-07 " + strBody + "\r\n";
    const struct { platform::EFileWrite eHow; int nRecords; } steps[] = {
        {platform::kFileReplace, 1}, {platform::kFileAppend, 2}, {platform::kFileOverwrite, 1}};
    for (const auto& step : steps) {
        EXPECT_TRUE(platform::WriteFileRecord(f, "2026-03-07 ", strBody, "\r\n", step.eHow));
        EXPECT_EQ(strBody, strCopy);
        EXPECT_EQ(ReadWholeFile(f), Repeat(strRecord, step.nRecords)) << step.eHow;
    }
    EXPECT_FALSE(platform::WriteFileRecord(dir.Path(), "x", strBody, "\r\n", platform::kFileAppend));
    EXPECT_EQ(strBody, strCopy);
}

}  // namespace
