#include "report/error_log.h"

namespace report {

namespace {

// The message of an error log line: what follows "<time stamp> : ".
std::string_view message_of(std::string_view line) {
  std::size_t separator = line.find(" : ");
  if (separator == std::string_view::npos || !parse_stamp(line.substr(0, separator))) return {};
  return line.substr(separator + 3);
}

// "target\t\titeration\t\tNs\t\tcommand"; false when the row is damaged.
bool read_row(std::string_view row, SlowCommand& out) {
  std::vector<std::string_view> fields;
  std::size_t start = 0;
  while (fields.size() < 3) {
    std::size_t tab = row.find("\t\t", start);
    if (tab == std::string_view::npos) return false;
    fields.push_back(row.substr(start, tab - start));
    start = tab + 2;
  }
  fields.push_back(row.substr(start));
  auto iteration = parse_integer(fields[1]);
  std::string_view seconds = fields[2];
  if (!iteration || !ends_with(seconds, "s")) return false;
  auto value = parse_integer(seconds.substr(0, seconds.size() - 1));
  if (!value || *value < 0 || *value > 1000000000 || *iteration < -1000000 || *iteration > 1000000)
    return false;
  out.target = std::string(fields[0]);
  out.iteration = static_cast<int>(*iteration);
  out.seconds = static_cast<int>(*value);
  out.command = std::string(fields[3]);
  return true;
}

}  // namespace

void ErrorLogReader::take(Report& report, std::string_view line, std::size_t index) {
  if (line.find("caught signal; quitting") != std::string_view::npos) interrupted = true;
  std::string_view message = message_of(line);
  if (message.empty()) return;
  if (starts_with(message, "=== Report of Commands that took longer than")) {
    in_table = true;
    report.slow_report_seen = true;
    return;
  }
  if (!in_table) return;
  if (starts_with(message, "=== End Command Report ===")) {
    in_table = false;
    return;
  }
  if (starts_with(message, "Host\t\tIteration")) return;
  SlowCommand row;
  if (read_row(message, row)) {
    report.slow_commands.push_back(std::move(row));
  } else {
    report.problems.push_back({index + 1, "a damaged row in the slow-command report"});
  }
}

}  // namespace report
