// One GET of one page over HTTP or HTTPS.
#pragma once

#include <string>

class CPageFetcher {
public:
    CPageFetcher() = default;
    ~CPageFetcher() = default;

    // The status code of the answer, or 0 when none was obtained. With a
    // status, strPage holds "\r\n" + line for every line of the body; with 0 it
    // is left exactly as passed.
    int FetchPage(std::string strUrl, std::string& strPage);
};
