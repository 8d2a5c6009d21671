// Prestats against poststats of one report, and the page's block that
// shows them.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <tuple>

#include "report/diff.h"
#include "report/text.h"

namespace report {

std::vector<std::string_view> section_lines(const Report& report, const Section& section) {
  std::vector<std::string_view> lines;
  std::string_view text = section_text(report, section);
  while (!text.empty()) {
    std::size_t end = text.find('\n');
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back(line);
    text.remove_prefix(std::min(text.size(), end + 1));
  }
  return lines;
}

namespace {

bool usable(const Section& s) {
  return s.kind == SectionKind::kCommand && s.closed && !s.excluded && !s.killed;
}

bool is_stats_stop(const Section& s) {
  return starts_with(s.command, "stats stop");
}
bool is_stats_start(const Section& s) {
  return starts_with(s.command, "stats start");
}

}  // namespace

PhaseChanges phase_changes(const Report& report) {
  PhaseChanges changes;
  // The n-th section of a command in a phase meets the n-th of the same
  // command in the other phase.
  using Key = std::tuple<int, std::string, std::string, int>;  // iteration, target, command, n
  std::map<Key, std::size_t> prestats;
  std::map<std::tuple<int, std::string, std::string>, int> seen;
  std::map<std::pair<int, std::string>, long long> stats_started;  // iteration, target -> epoch
  for (std::size_t i = 0; i < report.sections.size(); ++i) {
    const Section& s = report.sections[i];
    if (s.phase != "PRESTATS" || !usable(s)) continue;
    int n = seen[{s.iteration, s.target, s.command}]++;
    prestats[{s.iteration, s.target, s.command, n}] = i;
    if (is_stats_start(s) && s.end_epoch >= 0) stats_started[{s.iteration, s.target}] = s.end_epoch;
  }
  seen.clear();
  for (std::size_t i = 0; i < report.sections.size(); ++i) {
    const Section& s = report.sections[i];
    if (s.phase != "POSTSTATS") continue;
    if (is_stats_stop(s) && s.closed && !s.excluded && !s.killed) {
      CounterChange change;
      change.before = change.after = i;
      auto start = stats_started.find({s.iteration, s.target});
      if (start != stats_started.end() && s.end_epoch > start->second) {
        change.seconds = static_cast<double>(s.end_epoch - start->second);
        change.interval_source = "epochs";
      } else if (s.seconds > 0) {
        change.seconds = s.seconds;
        change.interval_source = "TIME_DELTA";
      }
      change.counters = stats_stop_rates(section_lines(report, s), change.seconds);
      if (!change.counters.empty()) changes.counters.push_back(std::move(change));
      continue;
    }
    if (!usable(s)) continue;
    int n = seen[{s.iteration, s.target, s.command}]++;
    auto found = prestats.find({s.iteration, s.target, s.command, n});
    if (found == prestats.end()) continue;
    const Section& pre = report.sections[found->second];
    std::vector<std::string_view> before = section_lines(report, pre);
    std::vector<std::string_view> after = section_lines(report, s);
    if (s.category == "CONFIG" && pre.category == "CONFIG") {
      std::vector<DiffLine> diff = line_diff(before, after);
      if (has_changes(diff)) changes.sections.push_back({found->second, i, diff_hunks(diff, 2)});
    } else if (s.category == "PERF" && pre.category == "PERF") {
      CounterChange change;
      change.before = found->second;
      change.after = i;
      if (pre.end_epoch >= 0 && s.end_epoch > pre.end_epoch) {
        change.seconds = static_cast<double>(s.end_epoch - pre.end_epoch);
        change.interval_source = "epochs";
      }
      change.counters = counter_rates(before, after, change.seconds);
      if (!change.counters.empty()) changes.counters.push_back(std::move(change));
    }
  }
  return changes;
}

std::string format_number(double value) {
  if (std::isnan(value)) return "-";
  char buffer[64];
  if (std::fabs(value) < 1e15 && value == std::floor(value)) {
    std::snprintf(buffer, sizeof buffer, "%.0f", value);
  } else {
    std::snprintf(buffer, sizeof buffer, "%.3f", value);
    std::string text(buffer);
    while (!text.empty() && text.back() == '0') text.pop_back();
    if (!text.empty() && text.back() == '.') text.pop_back();
    return text;
  }
  return buffer;
}

namespace {

void append_section_title(std::string& out, const Section& s) {
  append_html_text(out, s.target);
  out += ", iteration " + std::to_string(s.iteration) + ": ";
  out += "<code>";
  append_html_text(out, s.command);
  out += "</code>";
}

void append_diff_html(std::string& out, const std::vector<DiffLine>& diff) {
  out += "<pre class=\"diff\">";
  for (const DiffLine& line : diff) {
    const char* kind = line.op == '-'   ? "del"
                       : line.op == '+' ? "ins"
                       : line.op == '~' ? "gap"
                                        : "same";
    out += "<span class=\"";
    out += kind;
    out += "\">";
    out += line.op == '~' ? "\xe2\x80\xa6 " : std::string(1, line.op == ' ' ? ' ' : line.op) + " ";
    append_html_text(out, line.text);
    out += "</span>\n";
  }
  out += "</pre>";
}

}  // namespace

std::string changes_html(const Report& report, std::size_t max_sections, std::size_t max_counters,
                         std::string* deferred) {
  PhaseChanges changes = phase_changes(report);
  std::string out;
  out += "<section id=\"changes\" data-sections=\"" + std::to_string(changes.sections.size()) +
         "\" data-counters=\"" + std::to_string(changes.counters.size()) + "\"><h2>Changes</h2>";
  out +=
      "<style>#changes pre.diff{margin:0;padding:4px;overflow-x:auto}"
      "#changes .del{background:#fde2e2;display:block}#changes .ins{background:#dcf5dc;"
      "display:block}#changes .gap{color:#777;display:block}#changes .same{display:block}"
      "#changes td+td{text-align:right}</style>";
  out +=
      "<p>Prestats against poststats of each target: configuration sections whose text changed, "
      "and counters as rates over the interval between the two readings. Lines that tell the time "
      "of day are compared with their numbers masked.</p><h3>Configuration</h3>";
  if (changes.sections.empty()) out += "<p class=\"none\">No configuration section changed.</p>";
  std::size_t shown = 0;
  for (const SectionChange& change : changes.sections) {
    if (shown == max_sections) {
      out += "<p class=\"left-out\">" + std::to_string(changes.sections.size() - shown) +
             " more changed section(s) left out: the page shows the first " +
             std::to_string(max_sections) + ".</p>";
      break;
    }
    ++shown;
    const Section& after = report.sections[change.after];
    out += "<details class=\"config-change\" data-section=\"" + std::to_string(change.after) +
           "\"><summary>";
    append_section_title(out, after);
    out += " (lines " + std::to_string(report.sections[change.before].line) + " and " +
           std::to_string(after.line) + ")</summary>";
    append_diff_html(out, change.diff);
    out += "</details>";
  }
  out += "<h3>Counters</h3>";
  if (changes.counters.empty()) out += "<p class=\"none\">No counters read in both phases.</p>";
  // Closed at first: a capture has dozens of counter blocks per target, and
  // they must not push the charts down the page.
  const bool defer = deferred != nullptr && changes.counters.size() > kDeferCounters;
  if (!changes.counters.empty()) {
    out += "<details class=\"counter-list\"";
    out += defer ? " data-deferred=\"1\"><summary>" : "><summary>";
    out += std::to_string(changes.counters.size()) +
           " command(s) whose counters grew between the phases</summary>";
  }
  const std::size_t list_from = out.size();
  std::size_t rows = 0;
  for (std::size_t i = 0; i < changes.counters.size(); ++i) {
    const CounterChange& change = changes.counters[i];
    if (rows + change.counters.size() > max_counters) {
      std::size_t left = 0;
      for (std::size_t k = i; k < changes.counters.size(); ++k)
        left += changes.counters[k].counters.size();
      out += "<p class=\"left-out\">" + std::to_string(changes.counters.size() - i) +
             " more command(s) with " + std::to_string(left) +
             " counter(s) left out: the page shows at most " + std::to_string(max_counters) +
             " counters.</p>";
      break;
    }
    rows += change.counters.size();
    const Section& after = report.sections[change.after];
    const bool block = change.before == change.after;
    out += "<details class=\"counter-change\" data-section=\"" + std::to_string(change.after) +
           "\"><summary>";
    append_section_title(out, after);
    out += " \xe2\x80\x94 " + std::to_string(change.counters.size()) + " counter(s), interval ";
    out += change.seconds > 0
               ? format_number(change.seconds) + " s (" + change.interval_source + ")"
               : std::string("unknown");
    out += "</summary><table class=\"grid\"><tr><th>Counter</th>";
    out += block ? "<th>Over the interval</th>" : "<th>Prestats</th><th>Poststats</th>";
    out += "<th>Per second</th></tr>";
    for (const CounterRate& c : change.counters) {
      out += "<tr><td>";
      append_html_text(out, c.name);
      if (!block) out += "<td>" + format_number(c.before);
      out += "<td>" + format_number(c.after);
      append_html_text(out, c.unit);
      out += "<td>";
      out += c.is_level ? std::string("(as read)") : format_number(c.rate);
      out += "</tr>";
    }
    out += "</table></details>";
  }
  if (defer) {
    deferred->assign(out, list_from, std::string::npos);
    out.resize(list_from);
  }
  if (!changes.counters.empty()) out += "</details>";
  out += "</section>\n";
  return out;
}

}  // namespace report
