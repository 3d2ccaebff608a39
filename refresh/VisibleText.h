// Reduction of a page (code page 936) to what a reader would see, in one line.
#pragma once

#include <string>

std::string ExtractVisibleText(std::string strText);
