// The one line the service shows its service manager about the refresh work
// (systemctl status on Linux): what the worker waits for until a run, then the
// last run's time, status code and the beginning of its result text. The
// texts are code page 936, as everything else the worker makes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/Http.h"

// What the worker waits for.
enum EWaitKind {
    kWaitSwitchedOff = 0,  // SoftOn is not 1
    kWaitRefusedAddress,   // the address names the refused host
    kWaitInterval,         // nValue: seconds to the next run, nInterval: the interval
    kWaitHourly            // nValue: the second within the hour that is due
};

// Characters of the result text that the line carries at most.
constexpr size_t kServiceTextResultChars = 80;

std::string ComposeWaitText(EWaitKind eKind, int64_t nValue, int64_t nInterval);

// "Last run <strWhen>: <status> <result text, at most 80 characters>"; with
// status 0 the reason follows in a few words.
std::string ComposeResultText(const std::string& strWhen, int nStatus, const std::string& strResult,
                              platform::EHttpFailure eWhy);

// The reason of a request without status, in a few words.
const char* HttpFailureWords(platform::EHttpFailure eWhy);

// The first nChars characters of code page 936 text: a double-byte character
// counts once and is never cut in two.
std::string FirstCharsCp936(const std::string& strText, size_t nChars);
