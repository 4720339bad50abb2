#pragma once
// Lines for standard error, the log of a server run without a display (a
// service's journal): the local date and time, then the text in UTF-8.
#include <cstdint>
#include <string>
#include <string_view>

// "YYYY-MM-DD HH:MM:SS  " in local time, then the GBK text converted to
// UTF-8, then a newline.
std::string StderrLogLine(int64_t secondsSince1970, std::string_view gbkText);

// Writes that line for now (or for the given time) to stderr in one write,
// so lines of several threads never interleave.
void WriteStderrLog(std::string_view gbkText);
void WriteStderrLog(int64_t secondsSince1970, std::string_view gbkText);
