#include "report/compare.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <tuple>

#include "report/statistics.h"
#include "report/tables.h"
#include "report/text.h"
#include "report/verdict.h"

namespace report {

namespace {

const char kAbsent[] = "(absent)";

// The header's settings as name -> value, in the order they come.
std::vector<std::pair<std::string, std::string>> settings_of(const Report& r) {
  std::vector<std::pair<std::string, std::string>> list;
  const Header& h = r.header;
  if (!h.present) return list;
  list.emplace_back("version", h.version);
  for (const Setting& s : h.settings) list.emplace_back(s.key, s.value);
  list.emplace_back("SOURCE_HOST_NAME", h.host_name);
  list.emplace_back("SOURCE_HOST_OS", h.host_os);
  list.emplace_back("COMMAND_LINE", std::string(trim(h.command_line)));
  list.emplace_back("SAMPLES", std::to_string(h.samples));
  list.emplace_back("SAMPLE_INTERVAL", std::to_string(h.sample_interval));
  // The controllers' releases: "FILEROS,<tab>sim1,<tab>MERIX7.3.5" lines
  // outside any section.
  for (const Section& s : r.sections) {
    if (s.kind != SectionKind::kLoose) continue;
    for (std::string_view line : section_lines(r, s)) {
      if (!starts_with(line, "FILEROS,")) continue;
      std::string_view rest = line.substr(8);
      std::size_t comma = rest.find(',');
      if (comma == std::string_view::npos) continue;
      list.emplace_back("version of " + std::string(trim(rest.substr(0, comma))),
                        std::string(trim(rest.substr(comma + 1))));
    }
  }
  return list;
}

std::vector<SettingChange> compare_settings(const Report& a, const Report& b) {
  auto list_a = settings_of(a), list_b = settings_of(b);
  std::map<std::string, std::string> map_b(list_b.begin(), list_b.end());
  std::map<std::string, std::string> map_a(list_a.begin(), list_a.end());
  std::vector<SettingChange> changes;
  for (const auto& [name, value] : list_a) {
    auto found = map_b.find(name);
    std::string other = found == map_b.end() ? kAbsent : found->second;
    if (other != value) changes.push_back({name, value, other});
  }
  for (const auto& [name, value] : list_b)
    if (!map_a.count(name)) changes.push_back({name, kAbsent, value});
  return changes;
}

using SectionKey = std::tuple<int, std::string, std::string, std::string, int>;

// The configuration sections of a report by iteration, phase, target,
// command and occurrence.
std::map<SectionKey, std::size_t> config_sections(const Report& r) {
  std::map<SectionKey, std::size_t> found;
  std::map<std::tuple<int, std::string, std::string, std::string>, int> seen;
  for (std::size_t i = 0; i < r.sections.size(); ++i) {
    const Section& s = r.sections[i];
    if (s.kind != SectionKind::kCommand || s.category != "CONFIG") continue;
    int n = seen[{s.iteration, s.phase, s.target, s.command}]++;
    found[{s.iteration, s.phase, s.target, s.command, n}] = i;
  }
  return found;
}

std::vector<SectionDifference> compare_sections(const Report& a, const Report& b) {
  auto in_a = config_sections(a), in_b = config_sections(b);
  std::vector<std::pair<std::size_t, SectionDifference>> ordered;  // by line in A, then B
  for (const auto& [key, index] : in_a) {
    SectionDifference d;
    std::tie(d.iteration, d.phase, d.target, d.command, d.occurrence) = key;
    d.line_a = a.sections[index].line;
    auto other = in_b.find(key);
    if (other != in_b.end()) {
      d.line_b = b.sections[other->second].line;
      std::vector<DiffLine> diff = line_diff(section_lines(a, a.sections[index]),
                                             section_lines(b, b.sections[other->second]));
      if (!has_changes(diff)) continue;
      d.diff = diff_hunks(diff, 2);
    }
    ordered.emplace_back(d.line_a, std::move(d));
  }
  for (const auto& [key, index] : in_b) {
    if (in_a.count(key)) continue;
    SectionDifference d;
    std::tie(d.iteration, d.phase, d.target, d.command, d.occurrence) = key;
    d.line_b = b.sections[index].line;
    ordered.emplace_back(static_cast<std::size_t>(-1) / 2 + d.line_b, std::move(d));
  }
  std::stable_sort(ordered.begin(), ordered.end(),
                   [](const auto& x, const auto& y) { return x.first < y.first; });
  std::vector<SectionDifference> list;
  for (auto& entry : ordered) list.push_back(std::move(entry.second));
  return list;
}

std::string stats_text(const ColumnStats& s) {
  if (s.count == 0) return "-";
  return format_number(s.min) + " / " + format_number(s.mean) + " / " + format_number(s.p95) +
         " / " + format_number(s.max) + " (n " + std::to_string(s.count) + ")";
}

std::string section_name(const SectionDifference& d) {
  std::string name =
      d.target + ", iteration " + std::to_string(d.iteration) + " " + d.phase + ": " + d.command;
  if (d.occurrence > 0) name += " (#" + std::to_string(d.occurrence + 1) + ")";
  return name;
}

std::string where(const SectionDifference& d) {
  if (d.line_b == 0) return "only in A, line " + std::to_string(d.line_a);
  if (d.line_a == 0) return "only in B, line " + std::to_string(d.line_b);
  return "lines " + std::to_string(d.line_a) + " and " + std::to_string(d.line_b);
}

}  // namespace

ColumnStats column_stats(std::vector<double> values) {
  values.erase(
      std::remove_if(values.begin(), values.end(), [](double v) { return !std::isfinite(v); }),
      values.end());
  const Stats shared = statistics(values);
  ColumnStats s;
  s.count = shared.count;
  s.min = shared.min;
  s.mean = shared.mean;
  s.p95 = shared.p95;
  s.max = shared.max;
  if (values.size() > 1) {
    double squares = 0;
    for (double v : values) squares += (v - s.mean) * (v - s.mean);
    s.deviation = std::sqrt(squares / static_cast<double>(values.size() - 1));
  }
  return s;
}

bool significant_shift(const ColumnStats& a, const ColumnStats& b) {
  if (a.count < 2 || b.count < 2) return false;
  double shift = std::fabs(b.mean - a.mean);
  double scale = std::max(std::fabs(a.mean), std::fabs(b.mean));
  double error = std::sqrt(a.deviation * a.deviation / static_cast<double>(a.count) +
                           b.deviation * b.deviation / static_cast<double>(b.count));
  return shift > 0 && shift >= 0.2 * scale && shift > 2 * error;
}

std::vector<KeyColumnValues> key_column_values(const Report& report) {
  std::vector<KeyColumnValues> list;
  const std::vector<std::string> labels = shown_labels();
  for (const TargetSeries& t : key_series(report, sampler_files(report))) {
    for (const std::string& label : labels) {
      auto found = t.columns.find(label);
      if (found == t.columns.end()) continue;
      KeyColumnValues v{t.target, label, key_column_unit(label), {}};
      for (const Series& series : found->second)
        v.values.insert(v.values.end(), series.values.begin(), series.values.end());
      list.push_back(std::move(v));
    }
  }
  return list;
}

Comparison compare_reports(const Report& a, const Report& b) {
  Comparison c;
  c.settings = compare_settings(a, b);
  c.sections = compare_sections(a, b);
  std::vector<KeyColumnValues> values_a = key_column_values(a), values_b = key_column_values(b);
  std::map<std::pair<std::string, std::string>, std::size_t> at;
  for (const KeyColumnValues& v : values_a) {
    at[{v.target, v.column}] = c.columns.size();
    c.columns.push_back({v.target, v.column, v.unit, column_stats(v.values), {}, false});
  }
  for (const KeyColumnValues& v : values_b) {
    auto found = at.find({v.target, v.column});
    if (found == at.end()) {
      c.columns.push_back({v.target, v.column, v.unit, {}, column_stats(v.values), false});
    } else {
      c.columns[found->second].b = column_stats(v.values);
    }
  }
  for (KeyColumnRow& row : c.columns) {
    row.significant = significant_shift(row.a, row.b);
    c.shifts += row.significant;
  }
  return c;
}

void write_comparison_text(const Comparison& c, const std::string& name_a,
                           const std::string& name_b, std::ostream& out) {
  out << "A: " << printable(name_a) << "\nB: " << printable(name_b) << "\n\n";
  out << "Settings that differ: " << c.settings.size() << "\n";
  for (const SettingChange& s : c.settings)
    out << "  " << printable(s.name) << ": \"" << printable(s.a) << "\" -> \"" << printable(s.b)
        << "\"\n";
  out << "\nConfiguration sections that changed: " << c.sections.size() << "\n";
  for (const SectionDifference& d : c.sections) {
    out << "  " << printable(section_name(d)) << " (" << where(d) << ")\n";
    for (const DiffLine& line : d.diff) {
      if (line.op == '~') {
        out << "      ... " << line.text << "\n";
      } else {
        out << "    " << line.op << ' ' << printable(line.text) << "\n";
      }
    }
  }
  out << "\nKey columns, min / mean / p95 / max (n values), A then B; '*' marks a significant "
         "shift: "
      << c.columns.size() << " compared, " << c.shifts << " shifted\n";
  for (const KeyColumnRow& row : c.columns) {
    out << (row.significant ? "* " : "  ") << printable(row.target) << "  " << row.column
        << (row.unit.empty() ? "" : " (" + row.unit + ")") << "\n      A " << stats_text(row.a)
        << "\n      B " << stats_text(row.b) << "\n";
  }
}

void write_comparison_html(const Comparison& c, const std::string& name_a,
                           const std::string& name_b, std::ostream& stream) {
  std::string out;
  out +=
      "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">\n<title>kestrel "
      "report diff</title>\n<style>body{font:14px/1.4 system-ui,sans-serif;margin:1em 2em}"
      "table{border-collapse:collapse}td,th{border:1px solid #ccc;padding:2px 6px;"
      "vertical-align:top}td.num{text-align:right}pre.diff{margin:0;padding:4px;overflow-x:auto}"
      ".del{background:#fde2e2;display:block}.ins{background:#dcf5dc;display:block}"
      ".gap{color:#777;display:block}.same{display:block}tr.shift td{background:#fff3cd}"
      "</style></head>\n<body>\n<h1>Diff of two reports</h1><p>A: <code>";
  append_html_text(out, name_a);
  out += "</code><br>B: <code>";
  append_html_text(out, name_b);
  out += "</code></p>\n<section id=\"settings\" data-count=\"" + std::to_string(c.settings.size()) +
         "\"><h2>Settings that differ</h2>";
  if (c.settings.empty()) {
    out += "<p>None.</p>";
  } else {
    out += "<table><tr><th>Setting</th><th>A</th><th>B</th></tr>";
    for (const SettingChange& s : c.settings) {
      out += "<tr><td>";
      append_html_text(out, s.name);
      out += "</td><td>";
      append_html_text(out, s.a);
      out += "</td><td>";
      append_html_text(out, s.b);
      out += "</td></tr>";
    }
    out += "</table>";
  }
  out += "</section>\n<section id=\"sections\" data-count=\"" + std::to_string(c.sections.size()) +
         "\"><h2>Configuration sections that changed</h2>";
  if (c.sections.empty()) out += "<p>None.</p>";
  for (const SectionDifference& d : c.sections) {
    out += "<details open><summary>";
    append_html_text(out, section_name(d));
    out += " (" + where(d) + ")</summary><pre class=\"diff\">";
    for (const DiffLine& line : d.diff) {
      const char* kind = line.op == '-'   ? "del"
                         : line.op == '+' ? "ins"
                         : line.op == '~' ? "gap"
                                          : "same";
      out += std::string("<span class=\"") + kind + "\">";
      out += line.op == '~' ? std::string("\xe2\x80\xa6 ") : std::string(1, line.op) + " ";
      append_html_text(out, line.text);
      out += "</span>\n";
    }
    out += "</pre></details>";
  }
  out += "</section>\n<section id=\"columns\" data-count=\"" + std::to_string(c.columns.size()) +
         "\" data-shifts=\"" + std::to_string(c.shifts) +
         "\"><h2>Key columns</h2><p>Min / mean / p95 / max of each target's key columns over all "
         "iterations. A shift is marked when the means differ by at least 20 % of the larger one "
         "and by more than twice the standard error of their difference.</p>";
  if (c.columns.empty()) {
    out += "<p>No key column in either report.</p>";
  } else {
    out +=
        "<table><tr><th>Target</th><th>Column</th><th>Unit</th><th>A min</th><th>A mean</th>"
        "<th>A p95</th><th>A max</th><th>B min</th><th>B mean</th><th>B p95</th><th>B max</th>"
        "<th>Shift</th></tr>";
    for (const KeyColumnRow& row : c.columns) {
      out += row.significant ? "<tr class=\"shift\"><td>" : "<tr><td>";
      append_html_text(out, row.target);
      out += "</td><td>";
      append_html_text(out, row.column);
      out += "</td><td>";
      append_html_text(out, row.unit);
      out += "</td>";
      for (const ColumnStats* s : {&row.a, &row.b}) {
        for (double v : {s->min, s->mean, s->p95, s->max})
          out += "<td class=\"num\">" + (s->count ? format_number(v) : std::string("-")) + "</td>";
      }
      out += row.significant ? "<td>shifted</td></tr>" : "<td></td></tr>";
    }
    out += "</table>";
  }
  out += "</section>\n</body></html>\n";
  stream.write(out.data(), static_cast<std::streamsize>(out.size()));
}

}  // namespace report
