// One GET of one page over HTTP or HTTPS.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "platform/Http.h"

class CPageFetcher {
public:
    // pAbort, when given, makes a request give up once it is not 0.
    explicit CPageFetcher(const std::atomic<int32_t>* pAbort = nullptr) : m_pAbort(pAbort) {}
    ~CPageFetcher() = default;

    // The status code of the answer, or 0 when none was obtained. With a
    // status, strPage holds "\r\n" + line for every line of the body; with 0 it
    // is left exactly as passed. An empty strPage lends its buffer (and its
    // capacity) to the text being read. pWhy, when given, receives why there was no
    // status (kHttpFailNone with a status), and kHttpFailStopped whenever the
    // abort flag ended the exchange before its answer was
    // complete, also after a status; with the flag set already, nothing is sent.
    // The exchange is the environment's (GetEnv().HttpGet).
    int FetchPage(std::string strUrl, std::string& strPage, platform::EHttpFailure* pWhy = nullptr);

private:
    const std::atomic<int32_t>* m_pAbort;
};
