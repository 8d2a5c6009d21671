// The marker-line grammar: "=-=-=-=-=-= TITLE =-=-=-=-=-= TAIL".
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace report {

constexpr std::string_view kFence = "=-=-=-=-=-=";
constexpr std::string_view kStatisticsLine = "=-=-= Kestrel Execution Statistics -=-=-=-=";

// Outside text (command output, copied files, the error log) never starts a
// line with the marker prefix: kestrel writes a line of it that begins with
// zero or more backslashes and then "=-=-=" with one more backslash in
// front. So a line that begins with backslashes and then the prefix is text,
// never a marker or the statistics line, and is shown with one backslash
// less. Reports written before the escape have no such lines.
constexpr std::string_view kMarkerPrefix = "=-=-=";

bool is_escaped_text(std::string_view line);

// True for the line that opens the closing execution statistics.
bool is_statistics_line(std::string_view line);

// Calls `piece` with the parts of `text` (whole lines) in order, leaving out
// the backslash the escape added in front of a line.
template <typename Piece>
void for_each_shown_piece(std::string_view text, Piece piece) {
  std::size_t from = 0, line = 0;
  while (line < text.size()) {
    std::size_t next = text.find('\n', line);
    next = next == std::string_view::npos ? text.size() : next + 1;
    if (text[line] == '\\' && is_escaped_text(text.substr(line, next - line))) {
      piece(text.substr(from, line - from));
      from = line + 1;
    }
    line = next;
  }
  piece(text.substr(from));
}

// The text as the analyst should see it: one backslash less on each escaped line.
std::string shown_text(std::string_view text);

struct Marker {
  std::string_view title;
  std::string_view tail;
  bool whole = true;  // false: the second fence is missing
};

// The parts of a marker line, or nothing when the line is not one.
std::optional<Marker> parse_marker(std::string_view line);

enum class TitleKind {
  kIterationBegin,  // BEGIN Iteration N
  kIterationEnd,
  kBlockBegin,  // BEGIN PRESTATS / BEGIN POSTSTATS; the tail names the target
  kBlockEnd,
  kSection,  // CONFIG|PERF <target> PRESTATS|POSTSTATS
  kUnknown,
};

struct Title {
  TitleKind kind = TitleKind::kUnknown;
  int iteration = 0;
  std::string_view phase;     // PRESTATS / POSTSTATS
  std::string_view category;  // CONFIG / PERF
  std::string_view target;
};

Title classify_title(std::string_view title);

}  // namespace report
