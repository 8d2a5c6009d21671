// The error log section: the slow-command table written into it at the end
// of the run.
#pragma once

#include "report/report.h"

namespace report {

// Reads the error log section one line at a time: the slow-command table
// and whether the run was interrupted.
struct ErrorLogReader {
  bool in_table = false;
  bool interrupted = false;  // the interrupt handler's line was seen

  // Line `index` (0-based) of the error log's text.
  void take(Report& report, std::string_view line, std::size_t index);
};

}  // namespace report
