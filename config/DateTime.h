// Local date and time texts: YYYY-MM-DD, HH:MM:SS, and both joined by a blank.
#pragma once

#include <string>

struct SLocalTime;

std::string GetDateText();
std::string GetTimeText();
std::string GetDateTimeText();

// The texts of a given local time (used by the three above).
std::string FormatDateText(const SLocalTime& lt);
std::string FormatTimeText(const SLocalTime& lt);
