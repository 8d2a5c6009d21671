// The error log section: the slow-command table written into it at the end
// of the run.
#pragma once

#include <map>
#include <string>

#include "report/report.h"

namespace report {

// Reads the error log section one line at a time: the slow-command table
// and whether the run was interrupted.
struct ErrorLogReader {
  bool in_table = false;
  bool interrupted = false;  // the interrupt handler's line was seen
  // The last invocation line and how often each was seen; standard error
  // text (lines without a time stamp) after it belongs to that command.
  std::string last_invocation;
  std::size_t last_invocation_line = 0;
  bool error_taken = false;
  std::map<std::string, int> invocations;

  // Line `index` (0-based) of the error log's text.
  void take(Report& report, std::string_view line, std::size_t index);
};

}  // namespace report
