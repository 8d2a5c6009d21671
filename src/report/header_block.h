// The header block at the top of a report.
#pragma once

#include <cstddef>
#include <string_view>

#include "report/report.h"

namespace report {

// Reads the header block one line at a time. It starts at the first line
// that is not blank when that line is the version line.
struct HeaderReader {
  enum class State { kBefore, kInside, kDone };
  State state = State::kBefore;

  // Takes line `index` (0-based); false when the line is not part of the
  // header and belongs to the report's body.
  bool take(Report& report, std::string_view line, std::size_t index);
  // The report ended after `line_count` lines.
  void finish(Report& report, std::size_t line_count);
};

}  // namespace report
