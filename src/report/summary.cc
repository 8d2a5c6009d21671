#include "report/summary.h"

#include <algorithm>
#include <map>
#include <string_view>

namespace report {

bool is_timed(const Section& s) {
  return (s.kind == SectionKind::kCommand || s.kind == SectionKind::kFileDump) && s.seconds >= 0;
}

void TotalsBuilder::add(const Section& s) {
  if (s.kind == SectionKind::kLoose || s.kind == SectionKind::kDateHeader) return;
  auto found = where.find(s.target);
  if (found == where.end()) {
    found = where.emplace(s.target, totals.size()).first;
    totals.push_back({s.target});
  }
  TargetTotals& t = totals[found->second];
  ++t.sections;
  if (is_timed(s)) t.seconds += s.seconds;
  t.excluded += s.excluded;
  t.killed += s.killed;
  t.empty += s.empty;
  t.cut += !s.closed;
}

std::vector<TargetTotals> totals_per_target(const Report& report) {
  TotalsBuilder builder;
  for (const Section& s : report.sections) builder.add(s);
  return builder.totals;
}

void SlowestBuilder::add(const Section& s, std::size_t index) {
  if (!is_timed(s)) return;
  auto at = std::find_if(slowest.begin(), slowest.end(),
                         [&](const auto& kept) { return kept.second.seconds < s.seconds; });
  if (at == slowest.end() && slowest.size() >= count) return;
  slowest.insert(at, {index, s});
  if (slowest.size() > count) slowest.pop_back();
}

std::vector<std::size_t> slowest_sections(const Report& report, std::size_t count) {
  std::vector<std::size_t> timed;
  for (std::size_t i = 0; i < report.sections.size(); ++i)
    if (is_timed(report.sections[i])) timed.push_back(i);
  std::stable_sort(timed.begin(), timed.end(), [&](std::size_t a, std::size_t b) {
    return report.sections[a].seconds > report.sections[b].seconds;
  });
  if (timed.size() > count) timed.resize(count);
  return timed;
}

std::vector<std::string> section_flags(const Section& s) {
  std::vector<std::string> flags;
  if (s.excluded) flags.push_back("excluded");
  if (s.killed) flags.push_back("killed");
  if (s.empty && s.kind != SectionKind::kPretend) flags.push_back("empty");
  if (!s.closed) flags.push_back("cut");
  return flags;
}

const char* status_name(Status status) {
  switch (status) {
    case Status::kOk:
      return "ok";
    case Status::kEmpty:
      return "empty";
    case Status::kFailed:
      return "failed";
    case Status::kKilled:
      return "killed";
    case Status::kExcluded:
      return "excluded";
    case Status::kPretend:
      return "pretend";
  }
  return "ok";
}

namespace {

// The invocation ends with the command, after a blank or a quote (remote
// clients quote it, the host runs it bare).
bool invokes(std::string_view invocation, const Section& s, const std::string& host) {
  if (s.kind != SectionKind::kCommand || s.command.empty()) return false;
  std::string_view line = invocation;
  while (!line.empty() && (line.back() == ' ' || line.back() == '"' || line.back() == '\''))
    line.remove_suffix(1);
  if (!ends_with(line, s.command)) return false;
  std::size_t before = line.size() - s.command.size();
  if (before == 0) return s.target == host;
  char c = line[before - 1];
  if (c != ' ' && c != '"' && c != '\'') return false;
  // A remote command names its controller (the part before a virtual
  // controller's suffix) as a word of the invocation.
  std::string name = s.target.substr(0, s.target.find(':'));
  if (s.target == host) return true;
  return !name.empty() &&
         (" " + std::string(line.substr(0, before)) + " ").find(" " + name + " ") !=
             std::string::npos;
}

// The line of a killed section that says so.
std::string kill_line(const Report& report, const Section& s) {
  std::string_view text = section_text(report, s);
  std::size_t at = text.find("Killing process tree at PID: ");
  if (at == std::string_view::npos) at = text.find("FATAL");
  if (at == std::string_view::npos) return "killed at the command time-out";
  std::string_view rest = text.substr(at);
  return std::string(trim(rest.substr(0, rest.find('\n'))));
}

}  // namespace

std::vector<SectionStatus> section_statuses(const Report& report) {
  std::vector<SectionStatus> states(report.sections.size());
  std::vector<std::string> errors(report.sections.size());
  // Commands by their text, so an invocation is matched by its tails alone.
  std::map<std::string_view, std::vector<std::size_t>> by_command;
  if (!report.command_errors.empty()) {
    for (std::size_t i = 0; i < report.sections.size(); ++i)
      if (report.sections[i].kind == SectionKind::kCommand)
        by_command[report.sections[i].command].push_back(i);
  }
  for (const CommandError& e : report.command_errors) {
    // The nth section that this invocation runs, n its occurrence.
    std::size_t found = report.sections.size();
    std::string_view line = e.invocation;
    for (std::size_t at = 0; at < line.size() && found == report.sections.size(); ++at) {
      if (at > 0 && line[at - 1] != ' ' && line[at - 1] != '"' && line[at - 1] != '\'') continue;
      std::string_view tail = line.substr(at);
      while (!tail.empty() && (tail.back() == ' ' || tail.back() == '"' || tail.back() == '\''))
        tail.remove_suffix(1);
      auto candidates = by_command.find(tail);
      if (candidates == by_command.end()) continue;
      int seen = 0;
      for (std::size_t i : candidates->second) {
        if (!invokes(e.invocation, report.sections[i], report.header.host_name)) continue;
        if (seen++ == e.occurrence) {
          found = i;
          break;
        }
      }
    }
    if (found == report.sections.size()) continue;
    if (!errors[found].empty()) errors[found] += "\n";
    errors[found] += e.message;
  }
  for (std::size_t i = 0; i < report.sections.size(); ++i) {
    const Section& s = report.sections[i];
    SectionStatus& state = states[i];
    if (s.excluded) {
      state.status = Status::kExcluded;
    } else if (s.kind == SectionKind::kPretend) {
      state.status = Status::kPretend;
    } else if (s.killed) {
      state.status = Status::kKilled;
      state.message = kill_line(report, s);
      if (!errors[i].empty()) state.message += "\n" + errors[i];
    } else if (!errors[i].empty()) {
      state.status = Status::kFailed;
      state.message = errors[i];
    } else if (s.empty) {
      state.status = Status::kEmpty;
    }
  }
  return states;
}

std::string duration_label(int seconds) {
  if (seconds < 0) return "";
  if (seconds == 0) return "<1 s";
  return std::to_string(seconds) + " s";
}

std::string status_line(const Report& report) {
  if (!report.looks_like_report) return "not a report";
  if (report.complete && report.damaged()) {
    const Problem* first = nullptr;
    for (const Problem& p : report.problems)
      if (p.structural && first == nullptr) first = &p;
    std::string line = "damaged: " + std::to_string(report.structure_problems) +
                       " marker(s) out of place, the report's structure does not add up";
    if (first != nullptr)
      line += "; first at line " + std::to_string(first->line) + ": " + first->message;
    return line;
  }
  if (report.complete) {
    std::string line = "complete";
    if (report.total_running_seconds >= 0)
      line += ", total running time " + std::to_string(report.total_running_seconds) + " s";
    return line;
  }
  return "incomplete: " + report.stop_reason;
}

}  // namespace report
