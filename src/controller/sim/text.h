// Small text helpers of the controller simulator.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace ctlsim {

#if defined(__MINGW32__)
#define CTLSIM_PRINTF_FORMAT gnu_printf  // the C99 printf of __USE_MINGW_ANSI_STDIO
#else
#define CTLSIM_PRINTF_FORMAT printf
#endif

// printf-style formatting into a std::string.
std::string format(const char* fmt, ...) __attribute__((format(CTLSIM_PRINTF_FORMAT, 1, 2)));

std::string trim(const std::string& text);

// Splits at blanks, tabs, carriage returns and line feeds; no empty words.
std::vector<std::string> split_words(const std::string& text);

// Splits at every `separator`; keeps empty pieces.
std::vector<std::string> split(const std::string& text, char separator);

std::string join(const std::vector<std::string>& words, const std::string& separator,
                 size_t first = 0);

bool starts_with(const std::string& text, const std::string& prefix);
bool ends_with(const std::string& text, const std::string& suffix);
std::string lower(const std::string& text);

// Whole-text decimal integer; false when `text` is not one.
bool parse_int(const std::string& text, long& value);

// Whole-text decimal number (integer or with a fraction).
bool parse_number(const std::string& text, double& value);

// Tabs, line ends and backslashes written as \t, \n, \r and \\ so that one
// value stays one tab-separated field.
std::string escape_field(const std::string& text);

// A stable 64-bit hash (FNV-1a), the seed of every simulated counter.
std::uint64_t stable_hash(const std::string& text);

}  // namespace ctlsim
