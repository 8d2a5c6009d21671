// The marker-line grammar: "=-=-=-=-=-= TITLE =-=-=-=-=-= TAIL".
#pragma once

#include <optional>
#include <string_view>

namespace report {

constexpr std::string_view kFence = "=-=-=-=-=-=";
constexpr std::string_view kStatisticsLine = "=-=-= Kestrel Execution Statistics -=-=-=-=";

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
