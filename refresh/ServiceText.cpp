#include "refresh/ServiceText.h"

#include <cstdio>

#include "config/TextUtil.h"

std::string FirstCharsCp936(const std::string& strText, size_t nChars) {
    size_t nPos = 0;
    for (size_t n = 0; n < nChars && nPos < strText.size(); ++n) nPos += Cp936CharLen(strText, nPos);
    return strText.substr(0, nPos);
}

const char* HttpFailureWords(platform::EHttpFailure eWhy) {
    switch (eWhy) {
    case platform::kHttpFailNameNotResolved: return "name not resolved";
    case platform::kHttpFailRefused: return "connection refused";
    case platform::kHttpFailTimedOut: return "timed out";
    case platform::kHttpFailCertificate: return "certificate not trusted";
    case platform::kHttpFailTooManyRedirects: return "too many redirects";
    case platform::kHttpFailStopped: return "stopped";
    case platform::kHttpFailBadAddress: return "address not usable";
    default: return "other failure";
    }
}

std::string ComposeWaitText(EWaitKind eKind, int64_t nValue, int64_t nInterval) {
    char szText[96];
    switch (eKind) {
    case kWaitSwitchedOff:
        return "Switched off (SoftOn in config.ini is not 1)";
    case kWaitRefusedAddress:
        return "Switched off: the Url in config.ini is refused";
    case kWaitInterval:
        std::snprintf(szText, sizeof szText, "Next run in %lld s (every %lld s)", static_cast<long long>(nValue),
                      static_cast<long long>(nInterval));
        return szText;
    case kWaitHourly:
        if (nValue >= 0 && nValue < 3600) {
            std::snprintf(szText, sizeof szText, "Hourly at %02d:%02d (minute:second)", static_cast<int>(nValue / 60),
                          static_cast<int>(nValue % 60));
        } else {
            std::snprintf(szText, sizeof szText, "Hourly at second %lld of the hour", static_cast<long long>(nValue));
        }
        return szText;
    }
    return std::string();
}

std::string ComposeResultText(const std::string& strWhen, int nStatus, const std::string& strResult,
                              platform::EHttpFailure eWhy) {
    std::string strLine = "Last run " + strWhen + ": " + std::to_string(nStatus) + " " +
                          FirstCharsCp936(strResult, kServiceTextResultChars);
    if (nStatus == 0) strLine += std::string(" - ") + HttpFailureWords(eWhy);
    return strLine;
}
