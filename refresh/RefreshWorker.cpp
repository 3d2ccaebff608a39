#include "refresh/RefreshWorker.h"

#include <cstdio>
#include <exception>
#include <utility>

#include "config/DateTime.h"
#include "config/FileUtil.h"
#include "config/IniReader.h"
#include "config/TextUtil.h"
#include "platform/Clock.h"
#include "platform/Platform.h"
#include "platform/Service.h"
#include "refresh/Judge.h"
#include "refresh/ServiceText.h"

const char* const kVendorDomain = "velmora.com";

namespace {

// "处理中.."
const char* const kTextRunning = "\xb4\xa6\xc0\xed\xd6\xd0..";
// "处理完毕"
const char* const kTextRunDone = "\xb4\xa6\xc0\xed\xcd\xea\xb1\xcf";
// "系统未开启。"
const char* const kTextSwitchedOff = "\xcf\xb5\xcd\xb3\xce\xb4\xbf\xaa\xc6\xf4\xa1\xa3";
// "监控网址填写错误。"
const char* const kTextBadUrl =
    "\xbc\xe0\xbf\xd8\xcd\xf8\xd6\xb7\xcc\xee\xd0\xb4\xb4\xed\xce\xf3\xa1\xa3";
// "刷新出错：", the system-log note of a pass ended by an exception.
const char* const kTextPassFailed = "\xcb\xa2\xd0\xc2\xb3\xf6\xb4\xed\xa3\xba";
// "未知异常"
const char* const kTextUnknownError = "\xce\xb4\xd6\xaa\xd2\xec\xb3\xa3";
// "服务停止，本次刷新中断，未记录结果。", the system-log note of a run cut
// short by the stop.
const char* const kTextRunStopped =
    "\xb7\xfe\xce\xf1\xcd\xa3\xd6\xb9\xa3\xac\xb1\xbe\xb4\xce\xcb\xa2\xd0\xc2\xd6\xd0\xb6\xcf\xa3\xac"
    "\xce\xb4\xbc\xc7\xc2\xbc\xbd\xe1\xb9\xfb\xa1\xa3";
// The hourly run's tail: "59分57秒", "59分56秒", "59分55秒".
const char* const kTextTail[3] = {"59\xb7\xd6" "57\xc3\xeb", "59\xb7\xd6" "56\xc3\xeb",
                                  "59\xb7\xd6" "55\xc3\xeb"};

const uint32_t kPassSleepMs = 1000;
const uint32_t kTailSleepMs = 1100;
const uint32_t kDefaultInterval = 5;
const size_t kMaxDeletePath = 258;
// A page buffer larger than this is given back after its run instead of
// being kept for the next one: a service that once read a huge page does not
// hold that memory for the rest of its life.
const size_t kKeptPageBytes = 4u << 20;

int32_t ClampToInt32(int64_t n) {
    if (n > INT32_MAX) return INT32_MAX;
    if (n < INT32_MIN) return INT32_MIN;
    return static_cast<int32_t>(n);
}

bool SameStamp(const platform::SFileStamp& a, const platform::SFileStamp& b) {
    return a.nModTime == b.nModTime && a.nSize == b.nSize && a.nFileId == b.nFileId;
}

bool StartsWith(const std::string& strText, const char* szPrefix) {
    return strText.compare(0, std::char_traits<char>::length(szPrefix), szPrefix) == 0;
}

}  // namespace

std::string FormatDuration(int32_t nSeconds) {
    int64_t s = nSeconds;
    const bool bNegative = s < 0;
    if (bNegative) s = -s;
    char szText[80];
    if (s >= 86400) {
        // "%d天%d时%d分%d秒"
        snprintf(szText, sizeof szText, "%d\xcc\xec%d\xca\xb1%d\xb7\xd6%d\xc3\xeb",
                 static_cast<int>(s / 86400), static_cast<int>(s % 86400 / 3600),
                 static_cast<int>(s % 3600 / 60), static_cast<int>(s % 60));
    } else if (s >= 3600) {
        // "%d时%d分%d秒"
        snprintf(szText, sizeof szText, "%d\xca\xb1%d\xb7\xd6%d\xc3\xeb",
                 static_cast<int>(s / 3600), static_cast<int>(s % 3600 / 60),
                 static_cast<int>(s % 60));
    } else if (s >= 60) {
        // "%d分%d秒"
        snprintf(szText, sizeof szText, "%d\xb7\xd6%d\xc3\xeb", static_cast<int>(s / 60),
                 static_cast<int>(s % 60));
    } else {
        // "%d秒"
        snprintf(szText, sizeof szText, "%d\xc3\xeb", static_cast<int>(s));
    }
    // "已过：" in front of a negative count
    return bNegative ? std::string("\xd2\xd1\xb9\xfd\xa3\xba") + szText : std::string(szText);
}

int DeleteFileSilent(const std::string& strPath) {
    if (strPath.size() > kMaxDeletePath) return 0;
    if (!PathExists(strPath, kPathIsFile)) return 0;
    platform::DeleteFileSilently(strPath);
    return 1;
}

CRefreshWorker::CRefreshWorker(const SWorkerArgs& args)
    : m_fetcher(args.pStop),  // a stop makes a request in flight give up
      m_iniReader(*args.pIniReader),
      m_strConfigPath(*args.pConfigPath),
      m_bStop(*args.pStop),
      m_bLoadedOnce(false) {
    m_state.strStatusPath = GetModuleDir() + "log" + platform::kPathSep + "time.txt";
}

bool CRefreshWorker::SleepUnlessStopped(uint32_t nMs) const { return GetClock().SleepUnlessSet(nMs, m_bStop); }

void CRefreshWorker::Run() {
    while (Pass()) {
    }
}

int CRefreshWorker::Pass() {
    if (StopRequested()) return 0;
    // Whatever a pass throws (out of memory for a huge page, a fault of a
    // library) ends that pass only: one line in the system log, and the
    // worker goes on with the next pass.
    try {
        RunPass();
    } catch (const std::exception& e) {
        NotePassFailure(e.what());
    } catch (...) {
        NotePassFailure(kTextUnknownError);
    }
    return 1;
}

void CRefreshWorker::NotePassFailure(const char* szWhat) noexcept {
    try {
        std::string strMessage = std::string(kTextPassFailed) + szWhat;
        for (char& c : strMessage) {
            if (c == '\r' || c == '\n') c = ' ';  // one line, whatever the text says
        }
        m_logWriter.WriteSystemLog(std::move(strMessage));
    } catch (...) {
        // Not even the note could be made (memory still short): the next
        // pass goes on all the same.
    }
}

void CRefreshWorker::RunPass() {
    // A stop during the sleep ends the pass at once: nothing of it is done.
    if (SleepUnlessStopped(kPassSleepMs)) return;

    // Any write counts, also two within one second: the time to the file
    // system's resolution, the size and the file itself are compared. A file
    // that cannot be examined from the start (all zero, as initially) still
    // gets one load, so the worker starts switched off, not on its initial
    // state.
    const platform::SFileStamp stamp = platform::GetFileStamp(m_strConfigPath);
    if (!SameStamp(stamp, m_state.configStamp) || !m_bLoadedOnce) {
        m_state.configStamp = stamp;
        m_bLoadedOnce = true;
        if (!LoadSettings()) return;
    }

    if (!m_state.bEnabled) {
        DeleteFileSilent(m_state.strStatusPath);
        return;
    }

    int nMinute = -1, nSecond = -1, nHour = -1;
    SLocalTime now;
    if (GetLocalNow(now)) {
        nMinute = now.nMinute;
        nSecond = now.nSecond;
        nHour = now.nHour;
    }
    if (m_state.nMode == 1) {
        StepHourly(nMinute * 60 + nSecond, nHour);
    } else {
        StepInterval();
    }
}

int CRefreshWorker::LoadSettings() {
    if (m_iniReader.GetSoftOn() != "1") {
        m_state.bEnabled = 0;
        m_logWriter.WriteSystemLog(kTextSwitchedOff);
        ShowWaiting(ComposeWaitText(kWaitSwitchedOff, 0, 0));
        DeleteFileSilent(m_state.strStatusPath);
        return 0;
    }
    m_state.bEnabled = 1;

    m_state.strUrl = m_iniReader.GetUrl();
    const std::string strLower = LowerCaseCp936(m_state.strUrl);
    if (strLower.find(kVendorDomain) != std::string::npos) {
        // Refused: behaves as switched off until config.ini changes again.
        m_state.bEnabled = 0;
        m_logWriter.WriteSystemLog(kTextBadUrl);
        ShowWaiting(ComposeWaitText(kWaitRefusedAddress, 0, 0));
        return 0;
    }
    if (!StartsWith(strLower, "http://") && !StartsWith(strLower, "https://")) {
        m_state.strUrl.insert(0, "http://");
    }

    m_state.bLogOn = m_iniReader.GetLog() == "1" ? 1 : 0;

    if (m_iniReader.GetTimeStartFrom() == "1") {
        m_state.nMode = 1;
        // Out-of-range minutes and seconds give a target outside the hour
        // (never due), not a wrapped-around one.
        const int64_t nTarget = static_cast<int64_t>(ParseSettingNumber(m_iniReader.GetTimeMinute())) * 60 +
                                ParseSettingNumber(m_iniReader.GetTimeSecond());
        m_state.nTarget = ClampToInt32(nTarget);
        m_state.nLastHour = -1;
        ShowWaiting(ComposeWaitText(kWaitHourly, m_state.nTarget, 0));
    } else {
        m_state.nMode = 0;
        // Zero, no number or a negative number: the default interval.
        const int32_t nInterval = ParseSettingNumber(m_iniReader.GetTimeSecond2());
        m_state.nInterval = nInterval > 0 ? static_cast<uint32_t>(nInterval) : kDefaultInterval;
        m_state.nCountdown = 0;
        ShowWaiting(ComposeWaitText(kWaitInterval, m_state.nCountdown, m_state.nInterval));
    }
    return 1;
}

void CRefreshWorker::StepHourly(int nSecondsInHour, int nHour) {
    const int64_t nDiff = static_cast<int64_t>(m_state.nTarget) - nSecondsInHour;
    WriteStatus(FormatDuration(ClampToInt32(nDiff < 0 ? nDiff + 3600 : nDiff)));
    if (nHour == m_state.nLastHour || nDiff < -1 || nDiff > 1 || StopRequested()) return;

    WriteStatus(kTextRunning);
    m_state.nLastHour = nHour;
    if (!PerformRun()) return;
    WriteStatus(std::string());
    for (const char* szTail : kTextTail) {
        if (SleepUnlessStopped(kTailSleepMs)) return;
        WriteStatus(szTail);
    }
}

void CRefreshWorker::StepInterval() {
    WriteStatus(FormatDuration(static_cast<int32_t>(m_state.nCountdown)));
    if (m_state.nCountdown != 0) {
        --m_state.nCountdown;
        return;
    }
    if (StopRequested()) return;
    WriteStatus(kTextRunning);
    // Counted down before the run, so that a run ended by an exception
    // keeps the timetable.
    m_state.nCountdown = m_state.nInterval - 1;
    if (PerformRun()) WriteStatus(kTextRunDone);
}

int CRefreshWorker::PerformRun() {
    platform::EHttpFailure eWhy = platform::kHttpFailOther;
    // The last result is not needed any more: the request reads into its buffer.
    m_state.strPage.clear();
    int nStatus = m_fetcher.FetchPage(m_state.strUrl, m_state.strPage, &eWhy);
    // The stop ended the request before its answer was complete: whatever
    // came is no answer of the server's, so nothing is recorded and the last
    // result stays in the cache file.
    const bool bCutShort = eWhy == platform::kHttpFailStopped;
    if (bCutShort) {
        m_logWriter.WriteSystemLog(kTextRunStopped);
    } else {
        JudgeAnswer(nStatus, m_state.strPage, m_state.bLogOn, m_logWriter, m_charSet);
        // After the judgement strPage holds the result text.
        platform::ReportServiceText(ComposeResultText(GetDateTimeText(), nStatus, m_state.strPage, eWhy));
    }
    if (m_state.strPage.capacity() > kKeptPageBytes) std::string().swap(m_state.strPage);
    return bCutShort ? 0 : 1;
}

void CRefreshWorker::ShowWaiting(const std::string& strText) {
    if (strText == m_strWaitText) return;
    m_strWaitText = strText;
    platform::ReportServiceText(strText);
}

void CRefreshWorker::WriteStatus(const std::string& strText) {
    m_logWriter.WriteStatusFile(m_state.strStatusPath, strText);
}

uint32_t RefreshWorker(void* pArg) {
    CRefreshWorker worker(*static_cast<const SWorkerArgs*>(pArg));
    worker.Run();
    return 0;
}
