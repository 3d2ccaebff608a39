// Files beside the executable and the refresh settings in config.ini.
#include <gtest/gtest.h>

#include <string>

#include "config/FileUtil.h"
#include "config/IniReader.h"
#include "platform/Platform.h"
#include "support/FakeClock.h"
#include "support/TestSupport.h"

namespace {

// '|' in a path pattern stands for this build's separator.
std::string P(std::string s) {
    for (char& c : s) {
        if (c == '|') c = platform::kPathSep;
    }
    return s;
}

// The first-run file, written out by hand: notice, section, fourteen keys.
const char kDefaultFile[] =
    // ";Velmora提示：请勿手动修改以下信息！"
    ";Velmora\xcc\xe1\xca\xbe\xa3\xba\xc7\xeb\xce\xf0\xca\xd6\xb6\xaf\xd0\xde\xb8\xc4\xd2\xd4"
    "\xcf\xc2\xd0\xc5\xcf\xa2\xa3\xa1\r\n"
    "[VlmWebRefresh]\r\n"
    // "Velmora·网页定时刷新工具"
    "SoftDes=Velmora\xa1\xa4\xcd\xf8\xd2\xb3\xb6\xa8\xca\xb1\xcb\xa2\xd0\xc2\xb9\xa4\xbe\xdf\r\n"
    "SoftVer=1.0.0\r\n"
    "SetupTime=2026-03-07 09:05:02\r\n"
    "SoftOn=1\r\n"
    "AutoStart=1\r\n"
    "LastStart=\r\n"
    "FirstStart=\r\n"
    "Url=\r\n"
    "TimeStartFrom=0\r\n"
    "TimeMinute=0\r\n"
    "TimeSecond=0\r\n"
    "TimeSecond2=5\r\n"
    "LocalDns=0\r\n"
    "Log=1\r\n";

TEST(GetModuleDir, CutsAtTheLastRealSeparator) {
    struct {
        const char* szModule;
        const char* szDir;
    } const cases[] = {
        {"C:|VlmRefreshSvc.exe", "C:|"},          // root of a drive
        {"|VlmRefreshSvc.exe", "|"},               // root of the file system
        {"C:|a|b|VlmRefreshSvc.exe", "C:|a|b|"},
        {"C:|dir|", "C:|dir|"},                    // already ends in the separator
        // "昞" is 0x95 0x5C: its second byte is no backslash.
        {"C:|d\x95\x5cx.exe", "C:|"},
        {"C:|\x95\x5c|\x95\x5c.exe", "C:|\x95\x5c|"},
        {"VlmRefreshSvc.exe", ""},                 // no separator at all
    };
    for (const auto& c : cases) {
        platform::SetModulePathOverride(P(c.szModule));
        EXPECT_EQ(GetModuleDir(), P(c.szDir)) << c.szModule;
    }
    std::string strLongDir = P("C:|") + std::string(300, 'd') + P("|");
    platform::SetModulePathOverride(strLongDir + "VlmRefreshSvc.exe");
    EXPECT_EQ(GetModuleDir(), strLongDir);
    platform::SetModulePathOverride(TestHomeDir() + "VlmRefreshSvc.exe");
    EXPECT_EQ(GetModuleDir(), TestHomeDir());
}

TEST(GetModuleDir, RealExecutableDirectoryEndsInSeparator) {
    platform::SetModulePathOverride("");
    std::string strDir = GetModuleDir();
    platform::SetModulePathOverride(TestHomeDir() + "VlmRefreshSvc.exe");
    ASSERT_FALSE(strDir.empty());
    EXPECT_EQ(strDir.back(), platform::kPathSep);
    EXPECT_TRUE(PathExists(strDir, 1)) << strDir;
}

TEST(PathExists, KindMustMatchTheFlag) {
    CTempDir dir;
    WriteWholeFile(dir.File("file.txt"), "x");
    platform::CreateDir(dir.File("sub"));
    struct {
        std::string strPath;
        int nFlag;
        bool bExpected;
    } const cases[] = {
        {dir.File("file.txt"), 0, true},  {dir.File("file.txt"), 1, false},
        {dir.File("sub"), 0, false},      {dir.File("sub"), 1, true},
        {dir.File("missing"), 0, false},  {dir.File("missing"), 1, false},
        {"", 0, false},                   {"", 1, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(PathExists(c.strPath, c.nFlag), c.bExpected) << c.strPath << " " << c.nFlag;
}

TEST(WriteTextFile, ReplacesAppendsAndEndsLinesWithCrLf) {
    CTempDir dir;
    std::string f = dir.File("t.txt");
    WriteWholeFile(f, "old content");
    EXPECT_EQ(WriteTextFile(f, "abc", 0, 0), 1);
    EXPECT_EQ(ReadWholeFile(f), "abc");
    EXPECT_EQ(WriteTextFile(f, "", 0, 0), 1);
    EXPECT_TRUE(PathExists(f, 0));
    EXPECT_EQ(ReadWholeFile(f), "");
    EXPECT_EQ(WriteTextFile(f, "one", 1, 1), 1);
    EXPECT_EQ(WriteTextFile(f, "two", 1, 1), 1);
    EXPECT_EQ(WriteTextFile(f, "a\nb", 0, 1), 1);
    EXPECT_EQ(ReadWholeFile(f), "one\r\ntwo\r\na\r\nb");
    EXPECT_EQ(WriteTextFile(f, "\xd6\xd0\n", 1, 0), 1);  // "中"
    EXPECT_EQ(ReadWholeFile(f), "\xd6\xd0\r\n\r\n");
    // A new file is created by either mode.
    EXPECT_EQ(WriteTextFile(dir.File("new.txt"), "x", 1, 1), 1);
    EXPECT_EQ(ReadWholeFile(dir.File("new.txt")), "x\r\n");
}

TEST(WriteTextFile, FailsWithoutOpening) {
    CTempDir dir;
    platform::CreateDir(dir.File("sub"));
    EXPECT_EQ(WriteTextFile("", "x", 1, 0), 0);
    EXPECT_EQ(WriteTextFile(dir.File(P("missing|t.txt")), "x", 1, 0), 0);
    EXPECT_FALSE(PathExists(dir.File("missing"), 1));
    EXPECT_EQ(WriteTextFile(dir.File("sub"), "x", 1, 1), 0);  // a directory
}

TEST(WriteTextFile, OpensAPathInGbk) {
    CTempDir dir;
    // "中文" as a directory name and "日志.txt" as a file name.
    std::string strSub = dir.File("\xd6\xd0\xce\xc4");
    ASSERT_TRUE(platform::CreateDir(strSub));
    std::string f = strSub + platform::kPathSep + "\xc8\xd5\xd6\xbe.txt";
    EXPECT_EQ(WriteTextFile(f, "x", 1, 0), 1);
    EXPECT_EQ(ReadWholeFile(f), "x\r\n");
}

TEST(CIniReader, FirstRunWritesNoticeAndDefaultsInOrder) {
    CTempDir dir;
    CModuleDirOverride home(dir.Path());
    CFakeClock clock(CFakeClock::At(2026, 3, 7, 9, 5, 2));
    CFakeClockScope scope(clock);
    {
        CIniReader reader;
        EXPECT_EQ(reader.GetIniFile(), dir.File("config.ini"));
        EXPECT_EQ(ReadWholeFile(dir.File("config.ini")), kDefaultFile);
        EXPECT_EQ(reader.GetSoftOn(), "1");
        EXPECT_EQ(reader.GetUrl(), "");
        EXPECT_EQ(reader.GetTimeStartFrom(), "0");
        EXPECT_EQ(reader.GetTimeMinute(), "0");
        EXPECT_EQ(reader.GetTimeSecond(), "0");
        EXPECT_EQ(reader.GetTimeSecond2(), "5");
        EXPECT_EQ(reader.GetLog(), "1");
    }
    // A second start finds the file and leaves it as it is.
    clock.Set(CFakeClock::At(2027, 1, 1, 0, 0, 0));
    CIniReader again;
    EXPECT_EQ(ReadWholeFile(dir.File("config.ini")), kDefaultFile);
}

TEST(CIniReader, ExistingFileIsNotCompleted) {
    struct {
        const char* szName;
        std::string strContent;
    } const cases[] = {
        {"empty file", ""},
        {"some keys", "[VlmWebRefresh]\r\nUrl=http://127.0.0.1/\r\n"},
        {"other section", "[Other]\r\nSoftOn=1\r\n"},
    };
    for (const auto& c : cases) {
        CTempDir dir;
        CModuleDirOverride home(dir.Path());
        WriteWholeFile(dir.File("config.ini"), c.strContent);
        CIniReader reader;
        EXPECT_EQ(ReadWholeFile(dir.File("config.ini")), c.strContent) << c.szName;
        EXPECT_EQ(reader.GetSoftOn(), "") << c.szName;
        EXPECT_EQ(reader.GetLog(), "") << c.szName;
        EXPECT_EQ(reader.GetTimeSecond2(), "") << c.szName;
    }
}

TEST(CIniReader, DirectoryNamedConfigIniReadsEmpty) {
    CTempDir dir;
    CModuleDirOverride home(dir.Path());
    ASSERT_TRUE(platform::CreateDir(dir.File("config.ini")));
    CIniReader reader;
    EXPECT_TRUE(PathExists(dir.File("config.ini"), 1));
    EXPECT_EQ(reader.GetSoftOn(), "");
    EXPECT_TRUE(reader.SetSoftOn("1"));  // lost, yet reported done
    EXPECT_EQ(reader.GetSoftOn(), "");
}

TEST(CIniReader, ReadStringEdges) {
    CTempDir dir;
    std::string f = dir.File("config.ini");
    // Nameless entries, before and inside a section.
    WriteWholeFile(f, "=top\r\n[S]\r\n=inside\r\nk=v\r\n");
    CIniReader reader(f);
    EXPECT_EQ(reader.ReadString("", "S"), "");
    EXPECT_EQ(reader.ReadString("k", ""), "");
    EXPECT_EQ(reader.ReadString("", ""), "");
    EXPECT_EQ(reader.ReadString("k", "S"), "v");
    EXPECT_EQ(reader.ReadString("missing", "S"), "");
    EXPECT_EQ(reader.ReadString("k", "Missing"), "");

    std::string strLong(3000, 'x');
    for (size_t i = 0; i < strLong.size(); ++i) strLong[i] = static_cast<char>('a' + i % 26);
    EXPECT_TRUE(reader.WriteString(strLong, "long", "S"));
    EXPECT_EQ(reader.ReadString("long", "S"), strLong.substr(0, 2047));
    // A double-byte character that does not fit whole is left out.
    EXPECT_TRUE(reader.WriteString(std::string(2046, 'a') + "\xd6\xd0", "cut", "S"));
    EXPECT_EQ(reader.ReadString("cut", "S"), std::string(2046, 'a'));
}

TEST(CIniReader, MissingFileReadsEmpty) {
    CTempDir dir;
    CIniReader reader(dir.File(P("no-such-dir|config.ini")));
    EXPECT_EQ(reader.GetSoftOn(), "");
    EXPECT_TRUE(reader.WriteString("1", "SoftOn", "VlmWebRefresh"));
    EXPECT_EQ(reader.GetSoftOn(), "");
}

TEST(CIniReader, EachAccessorUsesItsOwnKey) {
    CTempDir dir;
    std::string f = dir.File("config.ini");
    WriteWholeFile(f, "");
    CIniReader reader(f);
    typedef bool (CIniReader::*Setter)(const std::string&) const;
    struct {
        Setter pSet;
        const char* szKey;
    } const setters[] = {
        {&CIniReader::SetSoftOn, "SoftOn"},         {&CIniReader::SetSoftDes, "SoftDes"},
        {&CIniReader::SetSoftVer, "SoftVer"},       {&CIniReader::SetSetupTime, "SetupTime"},
        {&CIniReader::SetLastStart, "LastStart"},   {&CIniReader::SetAutoStart, "AutoStart"},
        {&CIniReader::SetFirstStart, "FirstStart"}, {&CIniReader::SetUrl, "Url"},
        {&CIniReader::SetTimeStartFrom, "TimeStartFrom"},
        {&CIniReader::SetTimeMinute, "TimeMinute"}, {&CIniReader::SetTimeSecond, "TimeSecond"},
        {&CIniReader::SetTimeSecond2, "TimeSecond2"}, {&CIniReader::SetLocalDns, "LocalDns"},
        {&CIniReader::SetLog, "Log"},
    };
    for (const auto& s : setters) {
        EXPECT_TRUE((reader.*s.pSet)(std::string("v-") + s.szKey));
        EXPECT_EQ(reader.ReadString(s.szKey, kSettingsSection), std::string("v-") + s.szKey);
    }
    typedef std::string (CIniReader::*Getter)() const;
    struct {
        Getter pGet;
        const char* szKey;
    } const getters[] = {
        {&CIniReader::GetSoftOn, "SoftOn"},   {&CIniReader::GetUrl, "Url"},
        {&CIniReader::GetTimeStartFrom, "TimeStartFrom"},
        {&CIniReader::GetTimeMinute, "TimeMinute"}, {&CIniReader::GetTimeSecond, "TimeSecond"},
        {&CIniReader::GetTimeSecond2, "TimeSecond2"}, {&CIniReader::GetLog, "Log"},
    };
    for (const auto& g : getters) EXPECT_EQ((reader.*g.pGet)(), std::string("v-") + g.szKey);
}

}  // namespace
