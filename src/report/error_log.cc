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

// The command line of a logged invocation, without its standard error
// redirection; empty when the message is not one.
std::string_view invocation_of(std::string_view message) {
  std::size_t redirect = message.rfind(" 2>>\"");
  if (redirect == std::string_view::npos) return {};
  return trim(message.substr(0, redirect));
}

// Error lines kept per command: enough to read, bounded for a flood.
const std::size_t kMessageLimit = 2000;
const std::size_t kErrorLimit = 10000;

}  // namespace

void ErrorLogReader::take(Report& report, std::string_view line, std::size_t index) {
  if (line.find("caught signal; quitting") != std::string_view::npos) interrupted = true;
  std::string_view message = message_of(line);
  if (message.empty()) {
    if (last_invocation_line == 0 || is_blank(line) || in_table) return;
    if (!error_taken) {
      if (report.command_errors.size() >= kErrorLimit) return;
      error_taken = true;
      report.command_errors.push_back(
          {last_invocation_line, last_invocation, invocations[last_invocation] - 1, {}});
    }
    std::string& text = report.command_errors.back().message;
    if (text.size() >= kMessageLimit) return;
    if (!text.empty()) text += "\n";
    text.append(trim(line).substr(0, kMessageLimit - text.size()));
    return;
  }
  std::string_view invocation = invocation_of(message);
  if (!invocation.empty()) {
    last_invocation = std::string(invocation);
    last_invocation_line = index + 1;
    error_taken = false;
    ++invocations[last_invocation];
    return;
  }
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
