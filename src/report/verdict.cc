#include "report/verdict.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <set>
#include <tuple>
#include <unordered_set>

#include "report/clock.h"
#include "report/diff.h"
#include "report/json_text.h"
#include "report/text.h"

namespace report {

namespace {

const double kNaN = std::nan("");

std::vector<std::string_view> split_list(std::string_view list, char separator) {
  std::vector<std::string_view> parts;
  std::size_t start = 0;
  while (start <= list.size()) {
    std::size_t end = list.find(separator, start);
    if (end == std::string_view::npos) end = list.size();
    std::string_view part = trim(list.substr(start, end - start));
    if (!part.empty()) parts.push_back(part);
    start = end + 1;
  }
  return parts;
}

bool is_stamp_line(std::string_view line) {
  return starts_with(line, "Begin: ") || starts_with(line, "End: ");
}

bool has_number(std::string_view line) {
  for (std::string_view word : split_words(line))
    if (parse_measure(word)) return true;
  return false;
}

// Rows of the first table of a file of columns: the lines with numbers
// after its header, up to the first line without (a repeated header aside).
std::vector<std::size_t> column_row_lines(const Report& report, const Section& section) {
  std::vector<std::size_t> lines;
  std::string_view header;
  for (std::size_t l = section.body_begin; l < section.body_end; ++l) {
    std::string_view line = report.line(l);
    if (is_stamp_line(line) || line.find("\t== ") != std::string_view::npos) continue;
    if (is_blank(line)) {
      if (!lines.empty()) break;
      header = {};
      continue;
    }
    if (has_number(line)) {
      if (!header.empty()) lines.push_back(l + 1);
      continue;
    }
    if (!lines.empty() && line != header) break;
    header = line;
  }
  return lines;
}

// The first line of each sample of object:instance:counter lines: a sample
// ends where a key comes again.
std::vector<std::size_t> counter_row_lines(const Report& report, const Section& section) {
  std::vector<std::size_t> lines;
  std::unordered_set<std::string_view> keys;
  for (std::size_t l = section.body_begin; l < section.body_end; ++l) {
    std::string_view line = trim(report.line(l));
    if (line.empty() || is_stamp_line(line)) continue;
    std::size_t c1 = line.find(':');
    std::size_t c2 = c1 == std::string_view::npos ? c1 : line.find(':', c1 + 1);
    std::size_t c3 = c2 == std::string_view::npos ? c2 : line.find(':', c2 + 1);
    if (c3 == std::string_view::npos) continue;
    std::string_view key = line.substr(0, c3);
    if (lines.empty() || !keys.insert(key).second) {
      lines.push_back(l + 1);
      keys = {key};
    }
  }
  return lines;
}

const Chart* find_chart(const SamplerFile& file, std::string_view title) {
  for (const std::vector<Chart>* list : {&file.charts, &file.text_columns})
    for (const Chart& chart : *list)
      if (chart.title == title && !chart.series.empty()) return &chart;
  return nullptr;
}

// One key column read from one file, on the clock.
bool read_series(const Report& report, const SamplerFile& file, const KeyColumn& column,
                 const std::vector<long long>& starts, std::vector<std::size_t>& lines,
                 bool& lines_read, Series& series) {
  std::vector<const Chart*> charts;
  for (std::string_view title : split_list(column.charts, '|'))
    if (const Chart* chart = find_chart(file, title)) charts.push_back(chart);
  if (charts.empty()) return false;
  const Chart& first = *charts.front();
  const Section& section = report.sections[file.section];
  FileClock clock = file_clock(report, section, file, starts);
  Placement placement = place_rows(clock, first);
  const std::size_t n = first.x.size();
  series.section = file.section;
  series.interval = static_cast<double>(clock.interval);
  series.anchored = clock.anchored;
  series.times.assign(n, kNaN);
  series.values.assign(n, kNaN);
  series.texts.assign(n, std::string());
  for (std::size_t i = 0; i < n; ++i) {
    if (placement.times[i]) series.times[i] = *placement.times[i];
    double value = kNaN;
    for (const Chart* chart : charts) {
      double v = i < chart->series[0].size() ? chart->series[0][i] : kNaN;
      if (std::isnan(v)) continue;
      if (std::isnan(value) || column.combine == Combine::kSum) {
        value = std::isnan(value) ? v : value + v;
      } else if (column.combine == Combine::kMax) {
        value = std::max(value, v);
      }
      if (column.combine == Combine::kFirst) break;
    }
    series.values[i] = value;
  }
  for (const Chart::Text& t : first.texts)
    if (t.series == 0 && t.sample < n) series.texts[t.sample] = t.text;
  if (!lines_read) lines = row_lines(report, section);
  lines_read = true;
  series.lines = lines;
  series.lines.resize(n, 0);
  return true;
}

double threshold_of(TargetKind kind, const std::string& label) {
  for (const Rule& rule : rules())
    if (rule.scope == kind && rule.condition == Condition::kAtLeast && label == rule.column)
      return rule.threshold;
  return 0;
}

std::string number_text(double value) {
  char out[64];
  if (std::isnan(value)) return "-";
  if (std::fabs(value) >= 100 || value == std::floor(value)) {
    std::snprintf(out, sizeof out, "%.0f", value);
  } else {
    std::snprintf(out, sizeof out, "%.1f", value);
  }
  return out;
}

std::string with_unit(double value, const std::string& unit) {
  if (unit.empty()) return number_text(value);
  return number_text(value) + (unit == "%" ? " %" : " " + unit);
}

std::string first_line_of(const std::string& text) {
  std::string line = text.substr(0, text.find('\n'));
  return line.size() > 160 ? line.substr(0, 160) + "..." : line;
}

// Settings value of `key`, empty when the header has none.
std::string setting(const Report& report, std::string_view key) {
  for (const Setting& s : report.header.settings)
    if (s.key == key) return s.value;
  return "";
}

// Controllers whose remote shell failed at set-up: the run logs "RSH to
// filer NAME fails! Quitting." (or SSH) and ends, so controllers after it
// were never tried and are not named here.
std::set<std::string> unreachable_controllers(const Report& report) {
  std::set<std::string> names;
  for (const Section& s : report.sections) {
    if (s.kind != SectionKind::kErrorLog) continue;
    for (std::string_view line : section_lines(report, s)) {
      std::size_t at = line.find("SH to filer ");
      if (at == 0 || at == std::string_view::npos || (line[at - 1] != 'R' && line[at - 1] != 'S'))
        continue;
      std::string_view rest = line.substr(at + 12);
      std::size_t end = rest.find(" fails! Quitting.");
      if (end != std::string_view::npos && end > 0) names.emplace(rest.substr(0, end));
    }
  }
  return names;
}

void add_status_findings(const Report& report, const std::vector<SectionStatus>& states,
                         std::vector<Finding>& findings) {
  for (std::size_t i = 0; i < states.size() && i < report.sections.size(); ++i) {
    const Section& s = report.sections[i];
    for (const Rule& rule : rules()) {
      if (rule.condition != Condition::kStatus || states[i].status == Status::kOk ||
          std::string_view(status_name(states[i].status)) != rule.column)
        continue;
      Finding f;
      f.rule = rule.id;
      f.severity = rule.severity;
      f.target = s.target;
      f.iteration = s.iteration;
      f.text = std::string(rule.text) + ": " + s.command;
      if (!states[i].message.empty()) f.text += " (" + first_line_of(states[i].message) + ")";
      long long from = s.start_epoch >= 0 ? s.start_epoch : s.end_epoch;
      long long to = s.end_epoch >= 0 ? s.end_epoch : s.start_epoch;
      if (from >= 0 && to >= from) {
        f.timed = true;
        f.from = static_cast<double>(from);
        f.to = static_cast<double>(to);
      }
      f.has_section = true;
      f.section = i;
      f.first_line = s.line;
      f.last_line = std::max(s.line, s.body_end);
      f.where = s.command;
      findings.push_back(std::move(f));
    }
  }
}

int severity_rank(Severity severity) {
  return static_cast<int>(severity);
}

}  // namespace

std::vector<std::size_t> row_lines(const Report& report, const Section& section) {
  if (report.lines.empty()) return {};
  if (starts_with(section.command, "protocol_stats") ||
      starts_with(section.command, "domain_stats"))
    return counter_row_lines(report, section);
  return column_row_lines(report, section);
}

void order_rows(std::vector<TargetRow>& rows) {
  std::stable_sort(rows.begin(), rows.end(), [](const TargetRow& a, const TargetRow& b) {
    if (a.score != b.score) return a.score > b.score;
    if (a.findings != b.findings) return a.findings > b.findings;
    return a.target < b.target;
  });
}

std::vector<TargetSeries> key_series(const Report& report, const std::vector<SamplerFile>& files) {
  std::vector<TargetSeries> list;
  std::map<std::string, std::size_t> at;
  const std::vector<long long> starts = sampling_starts(report);
  const std::string& host = report.header.host_name;
  // Which files each target has per iteration, for the columns that prefer one.
  std::set<std::tuple<std::string, int, std::string>> present;
  for (const SamplerFile& f : files) {
    const Section& s = report.sections[f.section];
    present.emplace(s.target, s.iteration, s.command);
  }
  for (const SamplerFile& f : files) {
    const Section& s = report.sections[f.section];
    std::vector<std::size_t> lines;  // of the file's rows, read once
    bool lines_read = false;
    const TargetKind kind =
        !host.empty() && s.target == host ? TargetKind::kHost : TargetKind::kController;
    for (const KeyColumn& column : key_columns()) {
      if (column.kind != kind) continue;
      // The first of the column's files that this target has in this iteration.
      std::string_view chosen;
      for (std::string_view name : split_list(column.files, '|')) {
        if (present.count({s.target, s.iteration, std::string(name)})) {
          chosen = name;
          break;
        }
      }
      if (chosen.empty() || chosen != s.command) continue;
      Series series;
      if (!read_series(report, f, column, starts, lines, lines_read, series)) continue;
      auto [where, added] = at.emplace(s.target, list.size());
      if (added) list.push_back({s.target, kind, {}});
      list[where->second].columns[column.label].push_back(std::move(series));
    }
  }
  return list;
}

Verdict make_verdict(const Report& report, const std::vector<SamplerFile>& files,
                     const std::vector<SectionStatus>& states) {
  Verdict verdict;
  std::map<std::string, TargetSeries> data;
  std::vector<std::string> order;
  for (TargetSeries& t : key_series(report, files)) {
    order.push_back(t.target);
    data[t.target] = std::move(t);
  }
  // Controllers named for the run: a row each, also without data.
  const std::set<std::string> unreachable = unreachable_controllers(report);
  std::vector<std::string> named;
  const std::string targets = setting(report, "FILER_TARGETS");
  for (std::string_view name : split_list(targets, ',')) {
    named.emplace_back(name);
    if (!data.count(std::string(name))) {
      order.emplace_back(name);
      data[std::string(name)] = {std::string(name), TargetKind::kController, {}};
    }
  }
  // Findings of the rules on series.
  for (const std::string& target : order) {
    const TargetSeries& d = data[target];
    for (const Rule& rule : rules()) {
      if (rule.scope != d.kind) continue;
      if (rule.condition != Condition::kAtLeast && rule.condition != Condition::kBelow &&
          rule.condition != Condition::kTextIn)
        continue;
      auto found = d.columns.find(rule.column);
      if (found == d.columns.end()) continue;
      for (const Series& series : found->second) {
        const Series* guard = nullptr;
        if (*rule.guard_column) {
          auto g = d.columns.find(rule.guard_column);
          if (g == d.columns.end()) continue;
          for (const Series& candidate : g->second)
            if (candidate.section == series.section) guard = &candidate;
          if (!guard) continue;  // no guard on the same rows: the rule cannot tell
        }
        for (const Window& w : sustained(rule, series, guard)) {
          const Section& s = report.sections[series.section];
          Finding f;
          f.rule = rule.id;
          f.severity = rule.severity;
          f.target = target;
          f.iteration = s.iteration;
          f.text = rule.text;
          const std::string unit = key_column_unit(rule.column);
          f.text +=
              rule.condition == Condition::kTextIn
                  ? " (" + std::to_string(w.last - w.first + 1) + " row(s), " +
                        number_text(w.to - w.from) + " s)"
                  : " (" +
                        std::string(rule.condition == Condition::kBelow ? "lowest " : "highest ") +
                        with_unit(w.worst, unit) + ", " + number_text(w.to - w.from) + " s)";
          f.timed = series.anchored;
          f.from = w.from;
          f.to = w.to;
          f.has_section = true;
          f.section = series.section;
          f.first_line = w.first < series.lines.size() ? series.lines[w.first] : 0;
          f.last_line = w.last < series.lines.size() ? series.lines[w.last] : 0;
          f.where = s.command;
          verdict.findings.push_back(std::move(f));
        }
      }
    }
  }
  for (const std::string& name : named) {
    if (!unreachable.count(name)) continue;
    for (const Rule& rule : rules()) {
      if (rule.condition != Condition::kUnreachable) continue;
      Finding f;
      f.rule = rule.id;
      f.severity = rule.severity;
      f.target = name;
      f.text = rule.text;
      verdict.findings.push_back(std::move(f));
    }
  }
  add_status_findings(report, states, verdict.findings);
  std::stable_sort(verdict.findings.begin(), verdict.findings.end(),
                   [](const Finding& a, const Finding& b) {
                     if (a.severity != b.severity)
                       return severity_rank(a.severity) < severity_rank(b.severity);
                     if (a.timed != b.timed) return a.timed;
                     if (a.timed && a.from != b.from) return a.from < b.from;
                     return a.target < b.target;
                   });
  // The rows.
  const std::vector<std::string> labels = shown_labels();
  for (const std::string& target : order) {
    const TargetSeries& d = data[target];
    TargetRow row;
    row.target = target;
    row.kind = d.kind;
    row.virtual_controller = d.kind == TargetKind::kController &&
                             std::find(named.begin(), named.end(), target) == named.end();
    for (const std::string& label : labels) {
      std::vector<double> values;
      auto found = d.columns.find(label);
      if (found != d.columns.end()) {
        for (const Series& series : found->second)
          values.insert(values.end(), series.values.begin(), series.values.end());
      }
      Stats stats = statistics(values);
      if (row.rows == 0) row.rows = values.size();
      double threshold = threshold_of(d.kind, label);
      if (stats.count > 0) row.score = std::max(row.score, 0.0);
      if (stats.count > 0 && threshold > 0) row.score = std::max(row.score, stats.p95 / threshold);
      row.stats.push_back(stats);
    }
    for (const Finding& f : verdict.findings) row.findings += f.target == target;
    verdict.rows.push_back(std::move(row));
  }
  order_rows(verdict.rows);
  return verdict;
}

Verdict make_verdict(const Report& report) {
  return make_verdict(report, sampler_files(report), section_statuses(report));
}

std::string zoom_link(const Finding& finding) {
  if (!finding.timed) return "";
  return "#zoom=" + std::to_string(static_cast<long long>(std::floor(finding.from))) + "-" +
         std::to_string(static_cast<long long>(std::ceil(finding.to)));
}

namespace {

std::string kind_text(const TargetRow& row) {
  return row.kind == TargetKind::kHost ? "host"
         : row.virtual_controller      ? "virtual controller"
                                       : "controller";
}

std::string lines_text(const Finding& f) {
  if (f.first_line == 0) return "";
  std::string text = "line " + std::to_string(f.first_line);
  if (f.last_line > f.first_line)
    text = "lines " + std::to_string(f.first_line) + "-" + std::to_string(f.last_line);
  return text;
}

}  // namespace

std::string verdict_html(const Verdict& verdict) {
  std::string out;
  const std::vector<std::string> labels = shown_labels();
  out += "<section id=\"verdict\" data-count=\"" + std::to_string(verdict.findings.size()) +
         "\"><h2>Verdict</h2>";
  if (verdict.rows.empty()) {
    out += "<p>No sampler data in this report.</p>";
  } else {
    out +=
        "<div class=\"table-box verdict-box\"><table class=\"grid\" id=\"verdict-table\"><thead>"
        "<tr><th>Target</th><th>Kind</th><th>Rows</th><th>Findings</th>";
    for (const std::string& label : labels) {
      out += "<th>";
      append_html_text(out, label);
      std::string unit = key_column_unit(label);
      if (!unit.empty()) out += " (" + unit + ")";
      out += "<br><small>min / mean / p95 / max</small></th>";
    }
    out += "</tr></thead><tbody>";
    for (const TargetRow& row : verdict.rows) {
      out += "<tr data-target=\"";
      append_html_text(out, row.target);
      out += "\"><td>";
      append_html_text(out, row.target);
      out += "</td><td>" + kind_text(row) + "</td><td>" + std::to_string(row.rows) + "</td><td>" +
             std::to_string(row.findings) + "</td>";
      for (std::size_t c = 0; c < labels.size() && c < row.stats.size(); ++c) {
        const Stats& st = row.stats[c];
        if (st.count == 0) {
          out += "<td class=\"none\"></td>";
          continue;
        }
        out += "<td data-column=\"";
        append_html_text(out, labels[c]);
        out += "\">";
        const double values[] = {st.min, st.mean, st.p95, st.max};
        const char* names[] = {"min", "mean", "p95", "max"};
        for (int k = 0; k < 4; ++k) {
          out += k ? " / " : "";
          out += "<span class=\"heat" + std::to_string(heat(row.kind, labels[c], values[k])) +
                 "\" data-stat=\"" + names[k] + "\">" + number_text(values[k]) + "</span>";
        }
        out += "</td>";
      }
      out += "</tr>";
    }
    out += "</tbody></table></div>";
  }
  out += "<h3>Findings</h3>";
  if (verdict.findings.empty()) out += "<p id=\"no-findings\">None.</p>";
  out += "<ul id=\"findings\" data-count=\"" + std::to_string(verdict.findings.size()) + "\">";
  for (const Finding& f : verdict.findings) {
    out += "<li class=\"" + std::string(severity_name(f.severity)) + "\" data-rule=\"";
    append_html_text(out, f.rule);
    out += "\" data-target=\"";
    append_html_text(out, f.target);
    out += "\"";
    if (f.timed) out += " data-zoom=\"" + zoom_link(f).substr(6) + "\"";
    if (f.has_section) out += " data-section=\"" + std::to_string(f.section) + "\"";
    out += "><b>" + std::string(severity_name(f.severity)) + "</b> ";
    append_html_text(out, f.target.empty() ? "-" : f.target);
    out += ": ";
    append_html_text(out, f.text);
    if (f.timed) {
      out += " <a class=\"zoom\" href=\"" + zoom_link(f) + "\">" + iso_time(f.from) + " to " +
             iso_time(f.to) + "</a>";
    }
    if (f.has_section) {
      out += " <a href=\"#\" class=\"open-section\">";
      append_html_text(out, f.where);
      if (f.first_line) out += ", " + lines_text(f);
      out += "</a>";
    }
    out += "</li>";
  }
  out += "</ul></section>\n";
  return out;
}

void write_findings_text(const Verdict& verdict, std::ostream& out) {
  const std::vector<std::string> labels = shown_labels();
  out << "Targets, busiest first (min / mean / p95 / max):\n";
  if (verdict.rows.empty()) out << "  none: no sampler data\n";
  for (const TargetRow& row : verdict.rows) {
    out << "  " << printable(row.target) << " (" << kind_text(row) << ", " << row.rows << " rows)";
    bool any = false;
    for (std::size_t c = 0; c < labels.size() && c < row.stats.size(); ++c) {
      const Stats& st = row.stats[c];
      if (st.count == 0) continue;
      std::string unit = key_column_unit(labels[c]);
      out << (any ? "; " : ": ") << labels[c] << " " << number_text(st.min) << "/"
          << number_text(st.mean) << "/" << number_text(st.p95) << "/" << number_text(st.max)
          << (unit.empty() ? "" : " " + unit);
      any = true;
    }
    if (!any) out << ": no samples";
    out << "\n";
  }
  out << "Findings: " << verdict.findings.size() << "\n";
  for (const Finding& f : verdict.findings) {
    out << severity_name(f.severity) << "\t" << printable(f.target.empty() ? "-" : f.target)
        << "\t";
    if (f.timed) {
      out << iso_time(f.from) << " to " << iso_time(f.to) << "\t" << zoom_link(f).substr(1);
    } else {
      out << "-\t-";
    }
    out << "\t";
    if (f.has_section) {
      out << printable(f.where);
      if (f.first_line) out << " " << lines_text(f);
    } else {
      out << "-";
    }
    out << "\t" << printable(f.text) << "\n";
  }
}

}  // namespace report
