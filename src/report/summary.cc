#include "report/summary.h"

#include <algorithm>
#include <map>

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
