// The Linux build as systemd runs it: the real executable in a directory of
// its own, the system root (unit directory, registry store, /dev/log) in a
// temporary directory, the notify socket owned by the test. (Stops at every
// moment of a run, on plain and secure pages: service-stop/StopTest.sh.)
#ifndef _WIN32

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "support/TestSupport.h"

namespace {

// "Velmora·网页定时刷新工具" and " 启动完毕" in code page 936, the first also in UTF-8.
const std::string kBanner =
    "Velmora\xa1\xa4\xcd\xf8\xd2\xb3\xb6\xa8\xca\xb1\xcb\xa2\xd0\xc2\xb9\xa4\xbe\xdf";
const std::string kBannerUtf8 =
    "Velmora\xc2\xb7\xe7\xbd\x91\xe9\xa1\xb5\xe5\xae\x9a\xe6\x97\xb6\xe5\x88\xb7\xe6\x96\xb0\xe5\xb7\xa5\xe5\x85\xb7";
const std::string kClosing = kBanner + " \xc6\xf4\xb6\xaf\xcd\xea\xb1\xcf";
const std::string kParameters = "[SYSTEM\\CurrentControlSet\\Services\\VlmRefresh\\Parameters]\n";

std::string Console(const std::vector<std::string>& lines) {
    std::string strOut = kBanner + "\n";
    for (const std::string& strLine : lines) strOut += strLine + "\n";
    return strOut + kClosing + "\n";
}

// The executable under test copied into the directory (ending in '/'); its
// path there.
std::string CopyExecutable(const std::string& strDir) {
    std::string strExe = strDir + "VlmRefreshSvc";
    WriteWholeFile(strExe, ReadWholeFile(VLM_BINARY_DIR "/VlmRefreshSvc"));
    chmod(strExe.c_str(), 0755);
    return strExe;
}

// Where systemd's tools are installed: the unit passes "systemd-analyze
// verify" without a complaint and its exposure is rated at most 3.0 ("OK").
// Each command prints what it said when the check fails.
void ExpectSystemdAccepts(const std::string& strUnit) {
    if (system("command -v systemd-analyze >/dev/null") != 0) return;
    const std::string strRun = "out=$(systemd-analyze ";
    const std::string strShow = " || { echo \"$out\"; exit 1; }";
    EXPECT_EQ(0, system((strRun + "verify '" + strUnit + "' 2>&1) && [ -z \"$out\" ]" + strShow).c_str()));
    EXPECT_EQ(0, system((strRun + "security --offline=true '" + strUnit + "' 2>&1); echo \"$out\" | awk '"
                         "sub(/.*Overall exposure level for VlmRefresh.service: /, \"\") { n++; ok = $1 + 0 <= 3.0 } "
                         "END { exit !(n == 1 && ok) }'" + strShow).c_str()));
}

// The executable copied into a directory of its own, and a system root.
class ServiceProcessTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_strExe = CopyExecutable(m_exeDir.Path());
        m_strRoot = m_root.Path().substr(0, m_root.Path().size() - 1);
        MakeDirs({"/etc", "/etc/systemd", "/etc/systemd/system", "/dev"});
    }

    void MakeDirs(std::initializer_list<const char*> subs) {
        for (const char* szSub : subs) mkdir((m_strRoot + szSub).c_str(), 0755);
    }
    std::string UnitPath() const { return m_strRoot + "/etc/systemd/system/VlmRefresh.service"; }
    std::string StorePath() const { return m_strRoot + "/var/lib/VlmRefresh/registry.conf"; }

    void TearDown() override {
        for (const char* szName : {"VLM_SYSTEM_ROOT", "NOTIFY_SOCKET", "JOURNAL_STREAM"})
            unsetenv(szName);
    }

    // Starts the executable (m_strExe unless strExe is given) on the system
    // root, under the notify socket when one is given; standard output and
    // error go to the pipe m_fdOut. JOURNAL_STREAM is m_strJournal, where
    // "pipe" names that pipe as systemd names the journal. m_bNoFileOverride
    // takes the root's right to read any file away, as the unit's empty
    // capability set does.
    pid_t Start(std::vector<std::string> args, const std::string& strNotify = "",
                const std::string& strExe = "") {
        args.insert(args.begin(), strExe.empty() ? m_strExe : strExe);
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(&a[0]);
        argv.push_back(nullptr);
        int fds[2];
        struct stat st;
        if (pipe2(fds, O_CLOEXEC) != 0 || fstat(fds[1], &st) != 0) return -1;
        std::string strJournal = m_strJournal != "pipe" ? m_strJournal
                                                        : std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino);
        setenv("VLM_SYSTEM_ROOT", m_strRoot.c_str(), 1);
        for (const auto& var :
             {std::make_pair("NOTIFY_SOCKET", strNotify), std::make_pair("JOURNAL_STREAM", strJournal)})
            var.second.empty() ? unsetenv(var.first) : setenv(var.first, var.second.c_str(), 1);
        pid_t pid = fork();
        if (pid == 0) {
            dup2(fds[1], 1);
            dup2(fds[1], 2);
            if (m_bNoFileOverride)  // CAP_DAC_OVERRIDE and CAP_DAC_READ_SEARCH
                for (int nCap : {1, 2}) prctl(PR_CAPBSET_DROP, nCap, 0, 0, 0);
            execv(argv[0], argv.data());
            _exit(127);
        }
        close(fds[1]);
        m_fdOut = fds[0];
        return pid;
    }

    // Reads what the process writes until strWanted has come (true), the
    // output ends or nMs pass; an empty strWanted reads to the end.
    bool ReadUntil(const std::string& strWanted, std::string& strOut, int nMs) {
        int64_t tEnd = SteadyMs() + nMs;
        while (strWanted.empty() || strOut.find(strWanted) == std::string::npos) {
            int64_t nLeft = tEnd - SteadyMs();
            struct pollfd p = {m_fdOut, POLLIN, 0};
            if (nLeft <= 0 || poll(&p, 1, static_cast<int>(nLeft)) <= 0) return false;
            char buffer[4096];
            ssize_t n = read(m_fdOut, buffer, sizeof(buffer));
            if (n <= 0) return false;
            strOut.append(buffer, static_cast<size_t>(n));
        }
        return true;
    }

    // The rest of the output up to its end; the pipe is closed.
    std::string TakeOutput() {
        std::string strOut;
        ReadUntil("", strOut, 10000);
        close(m_fdOut);
        return strOut;
    }

    // Runs to the end (m_strExe unless strExe is given): the exit code and
    // exactly the expected output.
    void ExpectRun(const std::vector<std::string>& args, const std::string& strExpected, int nExit = 0,
                   const std::string& strExe = "") {
        EXPECT_EQ(nExit, WaitChild(Start(args, "", strExe), 10000)) << ::testing::PrintToString(args);
        EXPECT_EQ(strExpected, TakeOutput()) << ::testing::PrintToString(args);
    }

    CTempDir m_exeDir;
    CTempDir m_root;
    std::string m_strExe;
    std::string m_strRoot;
    int m_fdOut = -1;
    std::string m_strJournal;
    bool m_bNoFileOverride = false;
};

TEST_F(ServiceProcessTest, OptionsInstallQueryAndRemoveTheUnit) {
    struct SStep { std::vector<std::string> args; std::vector<std::string> lines; bool bUnitAfter; };
    const std::vector<SStep> steps = {
        {{"-v"}, {"VlmRefresh Version 1.0", "The service is not installed"}, false},
        {{"/U"}, {"VlmRefresh is not installed"}, false}, {{"-i"}, {"VlmRefresh installed"}, true},
        {{"/I", "extra"}, {"VlmRefresh is already installed"}, true},
        {{"-V"}, {"VlmRefresh Version 1.0", "The service is currently installed"}, true},
        {{"-u"}, {"VlmRefresh removed. (You must delete the file (" + m_strExe + ") yourself.)"}, false},
        {{"/u"}, {"VlmRefresh is not installed"}, false},
    };
    for (const SStep& step : steps) {
        ExpectRun(step.args, Console(step.lines));
        EXPECT_EQ(step.bUnitAfter, access(UnitPath().c_str(), F_OK) == 0) << step.args[0];
        if (step.args[0] != "-i") continue;
        std::string strUnit = ReadWholeFile(UnitPath());
        for (const std::string& strLine : std::vector<std::string>{
                 "Type=notify\n", "ExecStart=" + m_strExe + "\n",
                 "ReadWritePaths=" + m_exeDir.Path().substr(0, m_exeDir.Path().size() - 1) + "\n",
                 "NoNewPrivileges=yes\n", "ProtectSystem=strict\n", "PrivateTmp=yes\n",
                 "WantedBy=multi-user.target\n",
                 "Description=" + kBannerUtf8 + " \xe7\xb3\xbb\xe7\xbb\x9f\xe6\x9c\x8d\xe5\x8a\xa1\n"}) {  // 系统服务
            EXPECT_NE(std::string::npos, strUnit.find(strLine)) << strLine;
        }
        ExpectSystemdAccepts(UnitPath());
        std::string strStore = ReadWholeFile(StorePath());
        EXPECT_NE(std::string::npos, strStore.find("[SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\"
                                                   "VlmRefresh]\nEventMessageFile = expand:\"" + m_strExe +
                                                   "\"\nTypesSupported = 7\n"))
            << strStore;
    }
}

// -u removes only a unit that runs this very file. Another copy's unit (its
// path quoted in ExecStart=) and the package's unit stay, with a line naming
// the program they run and exit code 1; a mask in /etc (systemctl mask) does
// not hide the package's unit.
TEST_F(ServiceProcessTest, RemoveLeavesTheUnitOfAnotherProgramOrThePackage) {
    CTempDir other;
    mkdir(other.File("a b%c").c_str(), 0755);
    const std::string strOther = CopyExecutable(other.File("a b%c/"));
    ExpectRun({"-i"}, Console({"VlmRefresh installed"}), 0, strOther);
    ExpectRun({"-u"}, Console({"VlmRefresh runs " + strOther + ", not " + m_strExe +
                               ": left installed (remove it with that file's -u)"}), 1);
    ExpectRun({"-u"}, Console({"VlmRefresh removed. (You must delete the file (" + strOther + ") yourself.)"}), 0,
              strOther);
    MakeDirs({"/usr", "/usr/lib", "/usr/lib/systemd", "/usr/lib/systemd/system"});
    const std::string strPackaged = m_strRoot + "/usr/lib/systemd/system/VlmRefresh.service";
    WriteWholeFile(strPackaged, "[Service]\nExecStart=-/opt/vlmrefresh/VlmRefreshSvc -x\n");
    ASSERT_EQ(0, symlink("/dev/null", UnitPath().c_str()));
    ExpectRun({"-v"}, Console({"VlmRefresh Version 1.0", "The service is currently installed"}));
    ExpectRun({"-i"}, Console({"VlmRefresh is already installed"}));
    ExpectRun({"-u"}, Console({"VlmRefresh runs /opt/vlmrefresh/VlmRefreshSvc of the package vlmrefresh: left "
                               "installed (remove it with apt-get remove vlmrefresh)"}), 1);
    EXPECT_EQ(0, access(strPackaged.c_str(), F_OK));
}

// The banner and the closing line are code page 936 on a console or in a
// file, UTF-8 when standard output is the journal that JOURNAL_STREAM names
// (not when it names another stream or none).
TEST_F(ServiceProcessTest, ConsoleLinesAreUtf8OnlyIntoTheJournal) {
    const std::string strUtf8 = kBannerUtf8 + "\nVlmRefresh Version 1.0\nThe service is not installed\n" +
                                kBannerUtf8 + " \xe5\x90\xaf\xe5\x8a\xa8\xe5\xae\x8c\xe6\xaf\x95\n";  // 启动完毕
    for (const char* szStream : {"pipe", "", "1:2"}) {
        m_strJournal = szStream;
        SCOPED_TRACE(szStream);
        ExpectRun({"-v"}, m_strJournal == "pipe" ? strUtf8
                                                 : Console({"VlmRefresh Version 1.0", "The service is not installed"}));
    }
}

// -i fails and changes nothing where the unit directory is missing (-v then
// says "not installed") and where a store is there but cannot be read (the
// service has no right to override file permissions): such a store is never
// replaced, the administrator's Start and Inc stay.
TEST_F(ServiceProcessTest, InstallFailsWithoutUnitDirectoryOrReadableStore) {
    rmdir((m_strRoot + "/etc/systemd/system").c_str());
    ExpectRun({"-v"}, Console({"VlmRefresh Version 1.0", "The service is not installed"}));
    ExpectRun({"-i"}, Console({"VlmRefresh failed to install. Error 2"}));

    MakeDirs({"/etc/systemd/system", "/var", "/var/lib", "/var/lib/VlmRefresh"});
    const std::string strStore = kParameters + "Start = 10\nInc = 5\n";
    WriteWholeFile(StorePath(), strStore);
    chmod(StorePath().c_str(), 0);
    m_bNoFileOverride = true;
    ExpectRun({"-i"}, Console({"VlmRefresh failed to install. Error 13"}));
    EXPECT_NE(0, access(UnitPath().c_str(), F_OK));
    chmod(StorePath().c_str(), 0644);
    EXPECT_EQ(strStore, ReadWholeFile(StorePath()));
}

TEST_F(ServiceProcessTest, WithoutServiceManagerTheDispatcherFailsAtOnce) {
    CDatagramSink log(m_strRoot + "/dev/log");
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{}, {"--i"}, {"i"}, {"-x"}}) {
        int64_t tStart = SteadyMs();
        ExpectRun(args, Console({}));
        EXPECT_LT(SteadyMs() - tStart, 3000);
    }
    // Nothing was started: no event, and LastStart left as it was.
    EXPECT_FALSE(log.WaitFor("event", 100));
    std::string strIni = ReadWholeFile(m_exeDir.File("config.ini"));
    EXPECT_NE(std::string::npos, strIni.find("LastStart=\r\n")) << strIni;
}

// Under the notify protocol and as a console run -f: started; the counter
// saved on SIGRTMIN (10 + 5 per second); 129 not handled; SIGHUP and SIGPIPE
// harmless, SIGUSR1, SIGUSR2 and SIGALRM ignored with a line on standard
// error. Then stopped with exit code 0 within about 2 s: the notify run by
// SIGQUIT with its output's reader gone (the closing line must not end it),
// the console run by Ctrl+C.
TEST_F(ServiceProcessTest, RunsUnderTheNotifyProtocolAndOnTheConsole) {
    const std::string strKey = "[SYSTEM\\CurrentControlSet\\Services\\VlmRefresh\\Status]\nCurrent = ";
    const std::vector<std::string> traces = {"VlmRefresh: SIGUSR1 ignored", "VlmRefresh: SIGUSR2 ignored",
                                             "VlmRefresh: SIGALRM ignored"};
    MakeDirs({"/var", "/var/lib", "/var/lib/VlmRefresh"});
    const std::string strNotify = m_strRoot + "/notify.sock";
    CDatagramSink notify(strNotify), log(m_strRoot + "/dev/log");
    for (bool bNotify : {true, false}) {
        SCOPED_TRACE(bNotify ? "notify" : "console");
        WriteWholeFile(StorePath(), kParameters + "Start = 10\nInc = 5\n");
        const pid_t pid = bNotify ? Start({}, strNotify) : Start({"/F"});
        ASSERT_GT(pid, 0);
        auto event = [&](const char* szId, int nMs) {
            return log.WaitFor("VlmRefresh[" + std::to_string(pid) + "]: event " + szId, nMs);
        };
        int64_t tStart = SteadyMs();
        EXPECT_TRUE(!bNotify || notify.WaitFor("READY=1", 5000));
        EXPECT_TRUE(event("105", 2000));

        std::this_thread::sleep_for(std::chrono::milliseconds(2500));
        kill(pid, SIGRTMIN);
        std::string strStore;
        WaitUntil([&] { return (strStore = ReadWholeFile(StorePath())).find(strKey) != std::string::npos; }, 2000);
        size_t nAt = strStore.find(strKey);
        ASSERT_NE(std::string::npos, nAt) << strStore;
        long nCurrent = atol(strStore.c_str() + nAt + strKey.size());
        EXPECT_EQ(0, (nCurrent - 10) % 5) << nCurrent;
        EXPECT_GE(nCurrent, 10 + 5 * 1);
        EXPECT_LE(nCurrent, 10 + 5 * ((SteadyMs() - tStart) / 1000 + 1));
        // 129 is not handled: an error event, the store unchanged.
        kill(pid, SIGRTMIN + 1);
        EXPECT_TRUE(event("106", 2000));
        EXPECT_EQ(strStore, ReadWholeFile(StorePath()));

        std::string strOut;
        for (int nSig : {SIGHUP, SIGPIPE, SIGUSR1, SIGUSR2, SIGALRM}) {
            kill(pid, nSig);
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        // All three lines, in order, and nothing else since the banner.
        EXPECT_TRUE(ReadUntil(traces.back(), strOut, 2000) && Console(traces).find(strOut) == 0) << strOut;
        // None of them was taken for a stop (its event comes at once) or ended it.
        EXPECT_FALSE(event("108", 200));
        int nStatus = 0;
        ASSERT_EQ(0, waitpid(pid, &nStatus, WNOHANG)) << "ended by a stray signal: " << nStatus;

        if (bNotify) close(m_fdOut);
        kill(pid, bNotify ? SIGQUIT : SIGINT);
        int64_t tStop = SteadyMs();
        EXPECT_TRUE(!bNotify || notify.WaitFor("STOPPING=1", 2000));
        EXPECT_EQ(0, WaitChild(pid, 3000));
        EXPECT_LT(SteadyMs() - tStop, 2000);
        EXPECT_TRUE(event("108", 2000));
        if (!bNotify) {
            EXPECT_EQ(Console(traces), strOut + TakeOutput());
        }
    }
    // Every event carried the service name as syslog identifier and a
    // daemon-facility priority: information 30, error 27.
    for (const std::string& s : log.Received()) {
        EXPECT_EQ(0u, s.find(s.find("event 106") != std::string::npos ? "<27>" : "<30>")) << s;
        EXPECT_NE(std::string::npos, s.find(" VlmRefresh[")) << s;
    }
}

// A stop is never lost, whenever it comes: SIGTERM sent as soon as the first
// status message ("STATUS=Starting") or READY=1 arrives ends every run with
// exit code 0 within 2 s, and systemd sees the start end (READY=1) before the
// stop begins. Each round starts ten runs that overlap, each with its own
// directory and notify socket; two rounds per moment.
TEST_F(ServiceProcessTest, AStopDuringTheStartIsNeverLost) {
    for (const char* szTrigger : {"STATUS=", "STATUS=", "READY=1", "READY=1"}) {
        struct SRun {
            CTempDir dir;
            std::unique_ptr<CDatagramSink> notify;
            pid_t pid = -1;
            int fdOut = -1;
            int64_t tStop = 0;
        };
        std::vector<SRun> runs(10);
        for (SRun& run : runs) {
            run.notify.reset(new CDatagramSink(run.dir.File("notify.sock")));
            run.pid = Start({}, run.dir.File("notify.sock"), CopyExecutable(run.dir.Path()));
            run.fdOut = m_fdOut;
            ASSERT_GT(run.pid, 0);
            EXPECT_TRUE(run.notify->WaitFor(szTrigger, 5000));
            kill(run.pid, SIGTERM);
            run.tStop = SteadyMs();
        }
        for (SRun& run : runs) {
            EXPECT_EQ(0, WaitChild(run.pid, static_cast<int>(std::max<int64_t>(0, run.tStop + 2000 - SteadyMs()))))
                << "not stopped within 2 s after SIGTERM on " << szTrigger;
            close(run.fdOut);
            std::string strMessages;
            run.notify->Take();
            for (const std::string& m : run.notify->Received()) strMessages += m + "|";
            EXPECT_LT(strMessages.find("READY=1"), strMessages.find("STOPPING=1")) << strMessages;
        }
    }
}

}  // namespace

#endif  // _WIN32
