// The judgement of one answer: result text, daily log line and cache file.
#pragma once

#include <string>

class CCharSet;
class CLogWriter;

// The first occurrence of strPattern in strText that begins on a code page
// 936 character (never on the second byte of one), or npos; 0 for an empty
// pattern. FindOnCharStartPlain defines the result by a plain walk over the
// characters; FindOnCharStart, the search the cuts use, tests sixteen places
// at a time and must give the same position for every input.
size_t FindOnCharStart(const std::string& strText, const std::string& strPattern);
size_t FindOnCharStartPlain(const std::string& strText, const std::string& strPattern);

// Cuts the content of the first start-tag ... end-tag block (see the docs).
// The caller makes sure that the end tag occurs in the text.
void ReplaceTagContent(std::string& strText, const std::string& strStartTag,
                       const std::string& strEndTag, const std::string& strReplacement);

// Turns the answer into its result text in place and writes the logs.
void JudgeAnswer(int nStatus, std::string& strText, int nLogOn, CLogWriter& logWriter,
                 CCharSet& charSet);

// Result markers (code page 936).
extern const char* const kMarker404;        // "(404)"
extern const char* const kMarkerNoServer;   // "(无法连接到服务器)"
extern const char* const kMarkerNoData;     // "(无数据)"
