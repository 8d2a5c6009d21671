// The small text tools of the report reader: a line index over the whole
// file, numbers and time stamps as the report writes them, and UTF-8 repair
// for what goes out again.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace report {

// Byte range of one line in the report, without its line end ("\n",
// "\r\n"); 32 bits keep the index small for reports of hundreds of MB.
struct LineSpan {
  std::uint32_t begin = 0;
  std::uint32_t end = 0;
};

// Largest report the reader takes: offsets are 32-bit.
constexpr std::size_t kMaxReportBytes = 0xFFFFFFF0u;

// The lines of `data`; a last line without a line end counts too. A UTF-8
// byte order mark at the start is skipped.
std::vector<LineSpan> index_lines(std::string_view data);

inline std::string_view line_text(std::string_view data, LineSpan span) {
  return data.substr(span.begin, span.end - span.begin);
}

bool starts_with(std::string_view text, std::string_view prefix);
bool ends_with(std::string_view text, std::string_view suffix);
std::string_view trim(std::string_view text);
bool is_blank(std::string_view text);

// Whole decimal number with an optional sign, nothing around it.
std::optional<long long> parse_integer(std::string_view text);

// A number as sampler tables print it: "12", "-3.5", "45%", "4454KB/s",
// "15.55ms". The unit, if any, is letters, '%' and '/' after the digits.
std::optional<double> parse_measure(std::string_view text);

// The time stamp of the report, "Mon Dec 07 18:20:01 GMT 2026" (a
// single-digit day may be blank-padded), as seconds since 1970 UTC.
std::optional<long long> parse_stamp(std::string_view text);

// True when the bytes are valid UTF-8 without NUL.
bool is_clean_utf8(std::string_view text);

// Appends `text` with every byte sequence that is not valid UTF-8 (and
// every NUL) replaced by U+FFFD. Returns the length the appended text has
// in UTF-16 code units, the unit of JavaScript string offsets.
std::size_t append_utf8(std::string& out, std::string_view text);

// Text safe for a terminal: valid UTF-8, control characters shown as '?'.
std::string printable(std::string_view text);

// Splits at runs of blanks and tabs.
std::vector<std::string_view> split_words(std::string_view text);

}  // namespace report
