#include "report/page_clock.h"

#include <algorithm>
#include <cctype>
#include <map>

#include "report/export_tables.h"
#include "report/text.h"

namespace report {

namespace {

// Units of the export catalogue as the page shows them.
struct UnitLabel {
  const char* unit;
  const char* label;
};

const UnitLabel kUnitLabels[] = {
    {"percent", "%"}, {"kbytes_per_second", "KB/s"}, {"milliseconds", "ms"}, {"seconds", "s"},
    {"kbytes", "KB"},
};

std::string unit_label(const ExportColumn& column) {
  for (const UnitLabel& u : kUnitLabels)
    if (column.unit == u.unit) return u.label;
  if (column.unit.empty() && ends_with(column.metric, "_per_second"))
    return column.csv.find("ops") != std::string::npos ? "ops/s" : "/s";
  return "";
}

// Words of an error log line that tell of trouble (matched in lower case,
// outside quoted text such as file names).
const char* const kTroubleWords[] = {"kill",  "timed out", "timeout", "signal",  "error",
                                     "fail",  "refused",   "denied",  "unreach", "cannot",
                                     "can't", "not found", "abort",   "hung"};

bool tells_of_trouble(std::string_view message) {
  std::string plain;
  bool quoted = false;
  for (char c : message) {
    if (c == '"') {
      quoted = !quoted;
      continue;
    }
    if (!quoted) plain += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  for (const char* word : kTroubleWords)
    if (plain.find(word) != std::string::npos) return true;
  return false;
}

// The iteration a moment belongs to: the one running then, else the last
// one begun before it, else the first.
int iteration_at(const Report& report, long long time) {
  int found = report.iterations.empty() ? 1 : report.iterations.front().number;
  for (const Iteration& it : report.iterations) {
    if (it.begin_epoch >= 0 && it.begin_epoch <= time) found = it.number;
  }
  return found;
}

}  // namespace

FileTimes file_times(const Report& report, const SamplerFile& file,
                     const std::vector<long long>& starts) {
  FileTimes out;
  const Section& section = report.sections[file.section];
  out.clock = file_clock(report, section, file, starts);
  out.chart_list.assign(file.charts.size(), 0);
  out.units.assign(file.charts.size(), "");
  std::map<const Chart*, std::string> catalogue;
  for (const ExportTable& table : export_tables(report, file, starts))
    for (const ExportColumn& column : table.columns) catalogue[column.chart] = unit_label(column);
  const Chart* previous = nullptr;
  for (std::size_t c = 0; c < file.charts.size(); ++c) {
    const Chart& chart = file.charts[c];
    out.units[c] = !chart.unit.empty() ? chart.unit : catalogue[&chart];
    if (previous && previous->x == chart.x && previous->x_label == chart.x_label) {
      out.chart_list[c] = out.lists.size() - 1;
      continue;
    }
    out.lists.push_back(place_rows(out.clock, chart).times);
    out.chart_list[c] = out.lists.size() - 1;
    previous = &chart;
  }
  return out;
}

std::vector<TimeBand> time_bands(const Report& report, const std::vector<long long>& starts) {
  struct Span {
    long long from = -1, to = -1;
    void add(long long a, long long b) {
      if (a < 0 || b < a) return;
      from = from < 0 ? a : std::min(from, a);
      to = std::max(to, b);
    }
  };
  std::map<int, Span> pre, post;
  for (const Section& s : report.sections) {
    if (s.kind != SectionKind::kCommand && s.kind != SectionKind::kFileDump) continue;
    long long end = s.end_epoch;
    long long start = s.start_epoch >= 0           ? s.start_epoch
                      : end >= 0 && s.seconds >= 0 ? end - s.seconds
                                                   : end;
    if (start < 0 || end < 0) continue;
    if (s.phase == "PRESTATS") pre[s.iteration].add(start, end);
    if (s.phase == "POSTSTATS") post[s.iteration].add(start, end);
  }
  std::vector<TimeBand> bands;
  for (const Iteration& it : report.iterations) {
    const int n = it.number;
    if (pre.count(n)) bands.push_back({n, "prestats", pre[n].from, pre[n].to});
    std::size_t index = n < 0 ? 0 : static_cast<std::size_t>(n);
    long long from = index < starts.size() ? starts[index] : -1;
    long long to = post.count(n) ? post[n].from : it.end_epoch;
    if (from >= 0 && to > from) bands.push_back({n, "sampling", from, to});
    if (post.count(n)) bands.push_back({n, "poststats", post[n].from, post[n].to});
  }
  return bands;
}

std::vector<TimeEvent> time_events(const Report& report, const std::vector<SectionStatus>& states,
                                   std::size_t limit) {
  std::vector<TimeEvent> events;
  for (std::size_t i = 0; i < report.sections.size() && i < states.size(); ++i) {
    const Section& s = report.sections[i];
    const Status status = states[i].status;
    if (status != Status::kKilled && status != Status::kFailed && status != Status::kExcluded)
      continue;
    long long time = s.start_epoch >= 0 ? s.start_epoch : s.end_epoch;
    if (time < 0) continue;
    std::string text = std::string(status_name(status)) + ": " + s.command + " on " + s.target;
    std::string_view message = states[i].message;
    if (!message.empty()) text += " - " + std::string(message.substr(0, message.find('\n')));
    events.push_back({time, s.iteration, status_name(status), static_cast<long long>(i), text});
  }
  if (!report.lines.empty()) {
    for (std::size_t i = 0; i < report.sections.size(); ++i) {
      const Section& s = report.sections[i];
      if (s.kind != SectionKind::kErrorLog) continue;
      for (std::size_t l = s.body_begin; l < s.body_end && l < report.lines.size(); ++l) {
        std::string_view line = report.line(l);
        std::size_t separator = line.find(" : ");
        if (separator == std::string_view::npos) continue;
        auto stamp = parse_stamp(line.substr(0, separator));
        std::string_view message = line.substr(separator + 3);
        if (!stamp || message.find(" 2>>\"") != std::string_view::npos ||
            !tells_of_trouble(message))
          continue;
        events.push_back({*stamp, iteration_at(report, *stamp), "log", static_cast<long long>(i),
                          "error log line " + std::to_string(l + 1) + ": " +
                              std::string(message.substr(0, 200))});
      }
    }
  }
  std::stable_sort(events.begin(), events.end(),
                   [](const TimeEvent& a, const TimeEvent& b) { return a.time < b.time; });
  if (events.size() > limit) events.resize(limit);
  return events;
}

}  // namespace report
