#include "report/tables.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <map>
#include <unordered_map>
#include <unordered_set>

#include "report/background.h"

namespace report {

namespace {

const double kMissing = std::nan("");

// ------------------------------------------------------------ shared parts

struct Cell {
  std::string_view text;
  std::size_t begin = 0, end = 0;  // columns in the line
};

// Cells split at blanks, or at tabs when the line has any.
std::vector<Cell> cells_of(std::string_view line, bool tabs) {
  std::vector<Cell> cells;
  if (tabs) {
    std::size_t start = 0;
    while (start <= line.size()) {
      std::size_t tab = line.find('\t', start);
      if (tab == std::string_view::npos) tab = line.size();
      std::string_view cell = trim(line.substr(start, tab - start));
      if (!cell.empty()) {
        std::size_t at = cell.data() - line.data();
        cells.push_back({cell, at, at + cell.size()});
      }
      start = tab + 1;
    }
    return cells;
  }
  for (std::string_view word : split_words(line)) {
    std::size_t at = word.data() - line.data();
    cells.push_back({word, at, at + word.size()});
  }
  return cells;
}

// The unit a number carries in the data: "%" of "45%", "KB/s" of "12KB/s".
std::string unit_of(std::string_view text) {
  std::size_t i = text.size();
  while (i > 0) {
    char c = text[i - 1];
    if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '%' || c == '/')) break;
    --i;
  }
  return std::string(text.substr(i));
}

bool is_number(std::string_view text) {
  return parse_measure(text).has_value();
}

// "12 s" or "12s": the time label of the host counter rows.
std::optional<double> time_label(std::string_view text) {
  if (!ends_with(text, "s")) return std::nullopt;
  std::string_view number = trim(text.substr(0, text.size() - 1));
  auto value = parse_integer(number);
  if (!value) return std::nullopt;
  return static_cast<double>(*value);
}

bool is_stamp_line(std::string_view line) {
  return starts_with(line, "Begin: ") || starts_with(line, "End: ");
}

// "TITLE \t== SOURCE": the host counter files name each column's source.
bool is_legend_line(std::string_view line) {
  return line.find("\t== ") != std::string_view::npos;
}

// A legend that says the column has no source: it reads 0 throughout.
bool legend_has_no_source(std::string_view line) {
  std::string_view source = trim(line.substr(line.find("\t== ") + 4));
  return starts_with(source, "no ") && source.find("source") != std::string_view::npos;
}

// Charts from rows grouped by instance: one chart per column, one series
// per group, x the sample number within the group (or the time label).
struct Rows {
  std::vector<std::string> columns;
  std::vector<std::string> group_order;
  std::map<std::string, std::vector<std::vector<double>>> values;  // group -> rows
  std::map<std::string, std::vector<double>> times;
  struct Text {
    std::string group;
    std::size_t row = 0, column = 0;
    std::string text;
  };
  std::vector<Text> texts;         // cells that are not numbers
  std::vector<std::string> units;  // per column, the first unit its cells carry
  bool timed = true;
};

void add_row(Rows& rows, const std::string& group, std::vector<double> values,
             std::optional<double> time,
             std::vector<std::pair<std::size_t, std::string>> texts = {}) {
  auto found = rows.values.find(group);
  if (found == rows.values.end()) {
    rows.group_order.push_back(group);
    found = rows.values.emplace(group, std::vector<std::vector<double>>{}).first;
  }
  for (auto& [column, text] : texts)
    rows.texts.push_back({group, found->second.size(), column, std::move(text)});
  found->second.push_back(std::move(values));
  if (time) {
    rows.times[group].push_back(*time);
  } else {
    rows.timed = false;
  }
}

void charts_of(const Rows& rows, const std::string& prefix, std::vector<Chart>& charts) {
  std::size_t samples = 0;
  for (const auto& [group, list] : rows.values) samples = std::max(samples, list.size());
  if (samples == 0) return;
  std::vector<double> x;
  std::string x_label = "sample";
  const std::vector<double>* first_times =
      rows.timed && !rows.group_order.empty() ? &rows.times.at(rows.group_order[0]) : nullptr;
  for (std::size_t i = 0; i < samples; ++i) {
    if (first_times && i < first_times->size()) {
      x.push_back((*first_times)[i]);
    } else {
      x.push_back(static_cast<double>(i + 1));
    }
  }
  if (first_times && first_times->size() == samples) x_label = "seconds";
  for (std::size_t c = 0; c < rows.columns.size(); ++c) {
    Chart chart;
    chart.title = prefix + rows.columns[c];
    chart.x_label = x_label;
    chart.x = x;
    if (c < rows.units.size()) chart.unit = rows.units[c];
    for (const std::string& group : rows.group_order) {
      const auto& list = rows.values.at(group);
      std::vector<double> series(samples, kMissing);
      for (std::size_t i = 0; i < list.size(); ++i) series[i] = list[i][c];
      for (const Rows::Text& t : rows.texts)
        if (t.group == group && t.column == c)
          chart.texts.push_back({chart.series.size(), t.row, t.text});
      chart.names.push_back(group.empty() ? rows.columns[c] : group);
      chart.series.push_back(std::move(series));
    }
    charts.push_back(std::move(chart));
  }
}

// ------------------------------------------------- header line + rows

struct Table {
  bool tabs = false;
  std::string header_text;  // the naming header line, to spot repeats
  std::size_t width = 0;    // numbers per row
  bool leading_time = false;
  std::size_t cell_count = 0;     // cells of the first row
  std::size_t first_number = 0;   // where its numbers begin
  std::vector<bool> text_column;  // a column whose first cell was text between numbers
  Rows rows;
};

// Column names for a row of `numbers` numbers spanning `row_cells`.
std::vector<std::string> name_columns(const std::vector<std::string_view>& headers, bool tabs,
                                      const std::vector<Cell>& row_cells, std::size_t first_number,
                                      std::size_t numbers, std::size_t labels) {
  std::vector<std::string> names(numbers);
  const std::vector<Cell> bottom = cells_of(headers.back(), tabs);
  if (bottom.size() == numbers) {
    for (std::size_t i = 0; i < numbers; ++i) names[i] = std::string(bottom[i].text);
    if (headers.size() >= 2) {
      const std::vector<Cell> above = cells_of(headers[headers.size() - 2], tabs);
      if (above.size() >= 2 && above.size() < numbers && numbers % above.size() == 0) {
        std::size_t span = numbers / above.size();
        for (std::size_t i = 0; i < numbers; ++i)
          names[i] = std::string(above[i / span].text) + " " + names[i];
      }
    }
    return names;
  }
  if (bottom.size() == numbers + labels) {
    std::size_t skip = first_number <= labels ? first_number : 0;
    for (std::size_t i = 0; i < numbers; ++i) names[i] = std::string(bottom[skip + i].text);
    return names;
  }
  if (!tabs) {
    // Header words that stand over each number (numbers are right-aligned).
    bool all = true;
    for (std::size_t i = 0; i < numbers; ++i) {
      const Cell& cell = row_cells[first_number + i];
      std::size_t from = first_number + i == 0 ? 0 : row_cells[first_number + i - 1].end + 1;
      for (std::string_view header : headers) {
        for (const Cell& word : cells_of(header, false)) {
          if (word.begin < cell.end && word.end > from) {
            if (!names[i].empty()) names[i] += " ";
            names[i] += std::string(word.text);
          }
        }
      }
      all = all && !names[i].empty();
    }
    if (all) return names;
  }
  for (std::size_t i = 0; i < numbers; ++i)
    if (names[i].empty()) names[i] = "column " + std::to_string(i + 1);
  return names;
}

struct ColumnReader {
  ColumnReader(SamplerFile& f, std::size_t least) : file(f), min_rows(least) {}
  SamplerFile& file;
  std::size_t min_rows;                   // rows a table needs to be charted
  std::vector<Problem> problems;          // of the current table
  std::vector<std::string_view> headers;  // consecutive header lines
  bool active = false;
  std::size_t row_count = 0;
  Table table;

  void finish() {
    if (active && row_count >= min_rows) {
      charts_of(table.rows, "", file.charts);
      file.problems.insert(file.problems.end(), problems.begin(), problems.end());
    }
    active = false;
    row_count = 0;
    problems.clear();
    table = Table{};
  }
};

// A row shaped like the table's first one, with cells that are not numbers
// where numbers stand: those are kept as text.
void read_text_row(ColumnReader& r, const std::vector<Cell>& cells, std::size_t line_number) {
  std::size_t from = r.table.first_number;
  std::optional<double> time;
  std::string group;
  for (std::size_t i = 0; i < from; ++i) {
    if (i + 1 == from && (time = time_label(cells[i].text))) break;
    if (!group.empty()) group += " ";
    group += std::string(cells[i].text);
  }
  if (r.table.leading_time) {
    time = time_label(cells[from].text);
    if (!time) {
      r.problems.push_back({line_number, "a row without its time label"});
      return;
    }
    ++from;
  }
  std::vector<double> values;
  std::vector<std::pair<std::size_t, std::string>> texts;
  for (std::size_t i = from; i < from + r.table.width; ++i) {
    auto number = parse_measure(cells[i].text);
    values.push_back(number ? *number : kMissing);
    if (!number) texts.emplace_back(i - from, std::string(cells[i].text));
  }
  for (std::size_t i = from + r.table.width; i < cells.size(); ++i) {
    if (!group.empty()) group += " ";
    group += std::string(cells[i].text);
  }
  if (texts.empty()) {
    r.problems.push_back({line_number, "a row that does not fit the table's columns"});
    return;
  }
  for (const auto& [column, text] : texts) {
    if (column < r.table.text_column.size() && r.table.text_column[column]) continue;
    r.problems.push_back(
        {line_number, "a cell that is not a number, kept as text: " + text.substr(0, 40)});
    break;
  }
  add_row(r.table.rows, group, std::move(values), time, std::move(texts));
  ++r.row_count;
}

void read_row(ColumnReader& r, std::string_view line, std::size_t line_number) {
  bool tabs = r.active
                  ? r.table.tabs
                  : (!r.headers.empty() && r.headers.back().find('\t') != std::string_view::npos);
  std::vector<Cell> cells = cells_of(line, tabs);
  // Leading labels, a run of numbers, trailing labels.
  std::size_t first = 0;
  while (first < cells.size() && !is_number(cells[first].text)) ++first;
  std::size_t last = first;
  while (last < cells.size() && is_number(cells[last].text)) ++last;
  const std::size_t span = r.table.width + (r.table.leading_time ? 1 : 0);
  if (r.active && cells.size() == r.table.cell_count &&
      (first != r.table.first_number || last != first + span)) {
    read_text_row(r, cells, line_number);
    return;
  }
  // A table's first row may hold text columns between its numbers (a
  // letter code such as sysstat's CP_type) when its header names every cell.
  std::vector<bool> text_column;
  if (!r.active && !r.headers.empty()) {
    std::size_t end = cells.size();
    while (end > last && !is_number(cells[end - 1].text)) --end;
    if (end > last && cells_of(r.headers.back(), tabs).size() == cells.size()) {
      for (std::size_t i = first; i < end; ++i) text_column.push_back(!is_number(cells[i].text));
      last = end;
    }
  }
  for (std::size_t i = last; i < cells.size(); ++i) {
    if (!is_number(cells[i].text)) continue;
    if (r.active) {
      r.problems.push_back({line_number, "a row with a cell that is not a number: " +
                                             std::string(trim(line).substr(0, 80))});
    }
    return;
  }
  std::optional<double> time;
  std::string group;
  for (std::size_t i = 0; i < first; ++i) {
    if (!time && i + 1 == first) time = time_label(cells[i].text);
    if (time && i + 1 == first) break;
    if (!group.empty()) group += " ";
    group += std::string(cells[i].text);
  }
  std::size_t numbers = last - first;
  if (!r.active) {
    if (r.headers.empty()) return;  // numbers without a header: nothing to name them by
    std::vector<Cell> bottom = cells_of(r.headers.back(), tabs);
    // A time label glued to the first number: "vda 0s   12 ...".
    if (!time && numbers == bottom.size() + 1 && time_label(cells[first].text)) {
      r.table.leading_time = true;
    }
    r.table.tabs = tabs;
    r.table.header_text = std::string(r.headers.back());
    std::size_t named_from = first + (r.table.leading_time ? 1 : 0);
    r.table.width = numbers - (r.table.leading_time ? 1 : 0);
    if (r.table.width == 0) return;
    r.table.rows.columns = name_columns(r.headers, tabs, cells, named_from, r.table.width,
                                        first + (cells.size() - last));
    r.table.cell_count = cells.size();
    r.table.first_number = first;
    r.table.text_column = text_column;
    r.active = true;
  }
  std::size_t from = first;
  if (r.table.leading_time) {
    if (numbers == 0 || !time_label(cells[first].text)) {
      r.problems.push_back({line_number, "a row without its time label"});
      return;
    }
    time = time_label(cells[first].text);
    ++from;
    --numbers;
  }
  if (numbers != r.table.width) {
    r.problems.push_back({line_number, "a ragged row: " + std::to_string(numbers) +
                                           " numbers where the table has " +
                                           std::to_string(r.table.width)});
    return;
  }
  std::vector<double> values;
  std::vector<std::pair<std::size_t, std::string>> texts;
  std::vector<std::string>& units = r.table.rows.units;
  units.resize(numbers);
  for (std::size_t i = from; i < from + numbers; ++i) {
    auto number = parse_measure(cells[i].text);
    values.push_back(number ? *number : kMissing);
    if (!number) texts.emplace_back(i - from, std::string(cells[i].text));
    if (number && units[i - from].empty()) units[i - from] = unit_of(cells[i].text);
  }
  for (std::size_t i = last; i < cells.size(); ++i) {
    if (!group.empty()) group += " ";
    group += std::string(cells[i].text);
  }
  add_row(r.table.rows, group, std::move(values), time, std::move(texts));
  ++r.row_count;
}

// Any file of header lines and rows of numbers; `min_rows` keeps one-line
// tables of unknown files (an export, a listing) out of the charts.
void read_table_file(const std::vector<std::string_view>& lines, std::size_t first_line,
                     SamplerFile& file, std::size_t min_rows) {
  ColumnReader r(file, min_rows);
  for (std::size_t i = 0; i < lines.size(); ++i) {
    std::string_view line = lines[i];
    if (is_stamp_line(line) || is_legend_line(line)) continue;
    if (is_blank(line)) {
      r.finish();
      r.headers.clear();
      continue;
    }
    bool tabs = line.find('\t') != std::string_view::npos;
    std::vector<Cell> cells = cells_of(line, tabs);
    std::size_t numbers = 0;
    for (const Cell& c : cells) numbers += is_number(c.text);
    if (numbers == 0 && cells.size() >= 2) {
      if (r.active && line == r.table.header_text) continue;  // the header again, same table
      r.finish();
      r.headers.push_back(line);
      continue;
    }
    if (numbers == 0) {
      r.finish();
      r.headers.clear();
      continue;
    }
    bool was_active = r.active;
    read_row(r, line, first_line + i);
    if (!was_active && !r.active) r.headers.clear();
  }
  r.finish();
}

void read_columns(const std::vector<std::string_view>& lines, std::size_t first_line,
                  SamplerFile& file) {
  read_table_file(lines, first_line, file, 1);
}

void read_unknown(const std::vector<std::string_view>& lines, std::size_t first_line,
                  SamplerFile& file) {
  read_table_file(lines, first_line, file, 2);
}

// -------------------------------------------- stats show: obj:inst:counter:v

void read_counter_rows(const std::vector<std::string_view>& lines, std::size_t first_line,
                       SamplerFile& file) {
  // One chart per "object:counter", one series per instance (per value of
  // an instance, "instance[k]", when a line has several). A sample ends
  // where a line's object:instance:counter comes again.
  struct Rows {
    std::string unit;  // of its first value
    std::vector<std::string> names;
    std::vector<std::vector<double>> values;  // per series, by sample
    std::unordered_map<std::string, std::uint32_t> series;
    struct Text {
      std::uint32_t series;
      std::size_t sample;
      std::string text;
    };
    std::vector<Text> texts;  // cells kept as text
    // The series of `name`, made when first seen.
    std::vector<double>& of(const std::string& name) {
      auto found = series.emplace(name, static_cast<std::uint32_t>(names.size()));
      if (found.second) {
        names.push_back(name);
        values.emplace_back();
      }
      return values[found.first->second];
    }
  };
  std::vector<std::string> chart_keys;
  std::vector<Rows> charts;
  std::unordered_map<std::string, std::uint32_t> chart_ids;
  // What each "object:instance:counter" of the file stands for: its chart
  // and instance, found once.
  struct Key {
    std::uint32_t chart;
    std::string instance;
    bool time;  // system:...:time, the sample's own stamp
  };
  std::unordered_map<std::string_view, Key> keys;
  std::unordered_set<std::string_view> in_sample;  // keys of the sample being read
  std::size_t sample = 0;
  bool any = false;
  const auto put = [&](std::vector<double>& list, double value) {
    list.resize(sample, kMissing);
    list.push_back(value);
  };
  for (std::size_t i = 0; i < lines.size(); ++i) {
    std::string_view line = trim(lines[i]);
    if (line.empty() || is_stamp_line(line)) continue;
    std::size_t c1 = line.find(':');
    std::size_t c2 = c1 == std::string_view::npos ? c1 : line.find(':', c1 + 1);
    std::size_t c3 = c2 == std::string_view::npos ? c2 : line.find(':', c2 + 1);
    if (c3 == std::string_view::npos) {
      file.problems.push_back({first_line + i, "a line that is not object:instance:counter:value"});
      continue;
    }
    std::string_view value = line.substr(c3 + 1);
    std::string_view key_text = line.substr(0, c3);
    if (!in_sample.insert(key_text).second) {
      ++sample;
      in_sample = {key_text};
    }
    any = true;
    auto key = keys.find(key_text);
    if (key == keys.end()) {
      std::string_view object = line.substr(0, c1);
      std::string_view counter = line.substr(c2 + 1, c3 - c2 - 1);
      std::string chart = std::string(object) + ":" + std::string(counter);
      auto id = chart_ids.emplace(chart, static_cast<std::uint32_t>(charts.size()));
      if (id.second) {
        chart_keys.push_back(std::move(chart));
        charts.emplace_back();
      }
      key = keys.emplace(key_text,
                         Key{id.first->second, std::string(line.substr(c1 + 1, c2 - c1 - 1)),
                             object == "system" && counter == "time"})
                .first;
    }
    const Key& k = key->second;
    if (k.time) {
      if (file.stamps.size() <= sample) file.stamps.resize(sample + 1, -1);
      file.stamps[sample] = parse_integer(trim(value)).value_or(-1);
      continue;  // the samples' clock, not a series
    }
    std::vector<double> numbers;
    std::size_t start = 0;
    bool bad = false;
    while (start <= value.size()) {
      std::size_t comma = value.find(',', start);
      if (comma == std::string_view::npos) comma = value.size();
      auto number = parse_measure(trim(value.substr(start, comma - start)));
      if (!number) {
        bad = true;
        break;
      }
      numbers.push_back(*number);
      start = comma + 1;
    }
    Rows& rows = charts[k.chart];
    if (bad || numbers.empty()) {
      std::string_view counter = line.substr(c2 + 1, c3 - c2 - 1);
      file.problems.push_back(
          {first_line + i, "a counter value that is not a number: " + std::string(counter)});
      // A single value is kept as text, in a chart that has numbers too.
      std::string_view text = trim(value);
      if (!text.empty() && text.find(',') == std::string_view::npos) {
        put(rows.of(k.instance), kMissing);
        rows.texts.push_back({rows.series.at(k.instance), sample, std::string(text)});
      }
      continue;
    }
    if (rows.unit.empty()) rows.unit = unit_of(trim(value.substr(0, value.find(','))));
    if (numbers.size() == 1) {
      put(rows.of(k.instance), numbers[0]);
      continue;
    }
    for (std::size_t n = 0; n < numbers.size(); ++n)
      put(rows.of(k.instance + "[" + std::to_string(n) + "]"), numbers[n]);
  }
  const std::size_t samples = any ? sample + 1 : 0;
  if (!file.stamps.empty()) file.stamps.resize(samples, -1);
  for (std::size_t id = 0; id < charts.size(); ++id) {
    Rows& rows = charts[id];
    Chart chart;
    chart.title = chart_keys[id];
    chart.x_label = "sample";
    chart.unit = rows.unit;
    for (std::size_t s = 0; s < samples; ++s) chart.x.push_back(static_cast<double>(s + 1));
    bool numbers = false;
    for (std::size_t n = 0; n < rows.names.size(); ++n) {
      std::vector<double>& series = rows.values[n];
      series.resize(samples, kMissing);
      for (double v : series) numbers = numbers || !std::isnan(v);
      for (const Rows::Text& t : rows.texts)
        if (t.series == n) chart.texts.push_back({chart.series.size(), t.sample, t.text});
      chart.names.push_back(std::move(rows.names[n]));
      chart.series.push_back(std::move(series));
    }
    if (numbers) file.charts.push_back(std::move(chart));
  }
}

// ------------------------------------------------------------------ statit

// Header words split at '-' runs: "ureads--chain-usecs" names three columns.
std::vector<std::string> statit_names(std::string_view header) {
  std::vector<std::string> names;
  std::vector<std::string_view> words = split_words(header);
  for (std::size_t w = 1; w < words.size(); ++w) {
    std::string_view word = words[w];
    std::size_t start = 0;
    while (start < word.size()) {
      std::size_t dash = word.find('-', start);
      if (dash == std::string_view::npos) dash = word.size();
      if (dash > start) {
        std::string name(word.substr(start, dash - start));
        std::string unique = name;
        for (int n = 2; std::find(names.begin(), names.end(), unique) != names.end(); ++n)
          unique = name + " " + std::to_string(n);
        names.push_back(unique);
      }
      start = dash + 1;
    }
  }
  return names;
}

void read_statit(const std::vector<std::string_view>& lines, std::size_t, SamplerFile& file) {
  // Only the numbered (stutter) reports make a series; a lone long report
  // is charted when there are none. Each value names its chart and series
  // by number, each name kept once.
  struct Value {
    std::uint32_t chart, series;
    double value;
  };
  std::vector<std::string> chart_keys, series_keys;
  std::unordered_map<std::string, std::uint32_t> chart_ids, series_ids;
  const auto intern = [](std::vector<std::string>& keys,
                         std::unordered_map<std::string, std::uint32_t>& ids, std::string key) {
    auto found = ids.emplace(std::move(key), static_cast<std::uint32_t>(keys.size()));
    if (found.second) keys.push_back(found.first->first);
    return found.first->second;
  };
  std::string group;
  std::vector<std::string> names;
  // The chart of each column name in the current group, and of each named
  // column by its place (kUnset until seen).
  std::unordered_map<std::string, std::uint32_t> group_charts;
  constexpr std::uint32_t kUnset = 0xFFFFFFFFu;
  std::vector<std::uint32_t> named_charts;
  const auto chart_of = [&](std::string column) {
    auto chart = group_charts.find(column);
    if (chart == group_charts.end()) {
      const std::uint32_t id = intern(chart_keys, chart_ids, group + ": " + column);
      chart = group_charts.emplace(std::move(column), id).first;
    }
    return chart->second;
  };
  std::vector<std::vector<Value>> reports;  // per stutter report
  std::vector<Value> long_report;
  std::vector<Value>* target = nullptr;
  bool just_headed = false;  // the line after a heading may name the columns
  std::vector<long long> stutter_stamps;
  long long long_stamp = -1;
  for (std::string_view raw : lines) {
    std::string_view line = trim(raw);
    if (starts_with(line, "---- statit")) {
      if (line.find("seconds") != std::string_view::npos) {
        target = &long_report;
      } else {
        reports.emplace_back();
        target = &reports.back();
        stutter_stamps.push_back(-1);
      }
      group.clear();
      group_charts.clear();
      named_charts.assign(names.size(), kUnset);
      continue;
    }
    if (target != nullptr && is_stamp_line(line)) {
      // The report's End line, else its Begin line, stamps it.
      long long* stamp = target == &long_report ? &long_stamp : &stutter_stamps.back();
      auto at = parse_stamp(line.substr(line.find(' ') + 1));
      if (at && (*stamp < 0 || starts_with(line, "End: "))) *stamp = *at;
      continue;
    }
    if (target == nullptr || line.empty() || is_stamp_line(line)) continue;
    std::vector<std::string_view> words = split_words(line);
    std::vector<double> numbers;
    std::string label;
    for (std::string_view word : words) {
      auto number = parse_measure(word);
      if (number && word != "%") {
        numbers.push_back(*number);
      } else if (word != "%") {
        if (!label.empty()) label += " ";
        label += std::string(word);
      }
    }
    if (numbers.empty()) {
      // A heading ("Disk Statistics (per second)") or the column line under it.
      if (just_headed && words.size() >= 2) {
        names = statit_names(raw[0] == ' ' ? "x " + std::string(line) : std::string(line));
        named_charts.assign(names.size(), kUnset);
        just_headed = false;
      } else if (raw[0] == ' ' && words.size() >= 2 && line.find(':') == std::string_view::npos) {
        group = std::string(line);
        group_charts.clear();
        names.clear();
        named_charts.clear();
        just_headed = true;
      }
      continue;
    }
    just_headed = false;
    if (numbers.size() > 1 && names.empty() && label.empty()) continue;
    if (group.empty() || starts_with(line, "Hostname:") || starts_with(line, "Start time") ||
        starts_with(line, "End time") || label.find("Release") != std::string::npos)
      continue;
    const bool percent_last = ends_with(line, "%") && names.empty();
    const std::uint32_t series = intern(series_keys, series_ids, label);
    for (std::size_t k = 0; k < numbers.size(); ++k) {
      std::uint32_t chart = kUnset;
      if (k < names.size()) {
        if (named_charts[k] == kUnset) named_charts[k] = chart_of(names[k]);
        chart = named_charts[k];
      } else {
        chart = chart_of(percent_last && k + 1 == numbers.size() ? "percent"
                         : percent_last                          ? "value"
                                        : "column " + std::to_string(k + 1));
      }
      target->push_back({chart, series, numbers[k]});
    }
  }
  if (reports.empty() && !long_report.empty()) {
    reports.push_back(long_report);
    stutter_stamps = {long_stamp};
  }
  if (!reports.empty()) file.stamps = stutter_stamps;
  // Charts and their series in the order they first appear; a value given
  // twice in one report keeps the last.
  std::vector<Chart> charts(chart_keys.size());
  std::vector<std::unordered_map<std::uint32_t, std::size_t>> series_at(chart_keys.size());
  std::vector<std::uint32_t> chart_order;
  for (std::size_t r = 0; r < reports.size(); ++r) {
    for (const Value& v : reports[r]) {
      Chart& chart = charts[v.chart];
      if (chart.title.empty()) {
        chart_order.push_back(v.chart);
        chart.title = chart_keys[v.chart];
      }
      auto at = series_at[v.chart].emplace(v.series, chart.series.size());
      if (at.second) {
        chart.names.push_back(series_keys[v.series]);
        chart.series.emplace_back(reports.size(), kMissing);
      }
      chart.series[at.first->second][r] = v.value;
    }
  }
  for (std::uint32_t id : chart_order) {
    Chart& chart = charts[id];
    chart.x_label = "report";
    for (std::size_t r = 0; r < reports.size(); ++r) chart.x.push_back(static_cast<double>(r + 1));
    file.charts.push_back(std::move(chart));
  }
}

// ------------------------------------------------------------- catalogue

using Reader = void (*)(const std::vector<std::string_view>&, std::size_t, SamplerFile&);

struct Shape {
  const char* prefix;  // of the file name
  const char* kind;
  Reader reader;
};

// Configuration the host exports once (network settings, system and
// storage summaries): text to read, not series to chart.
void read_export(const std::vector<std::string_view>&, std::size_t, SamplerFile&) {}

const Shape kShapes[] = {
    {"TCP_Params", "host configuration export", read_export},
    {"msinfo", "host configuration export", read_export},
    {"sysstat_1sec", "sysstat, one second", read_columns},
    {"sysstatM", "sysstat per processor", read_columns},
    {"sysstat", "sysstat", read_columns},
    {"protocol_stats", "protocol stats", read_counter_rows},
    {"domain_stats", "domain stats", read_counter_rows},
    {"lun_stats", "lun stats", read_columns},
    {"vifstat_", "vif stat", read_columns},
    {"statit", "statit", read_statit},
    {"system_perfmon", "host system counters", read_columns},
    {"ldisk_perfmon", "host logical disks", read_columns},
};

}  // namespace

SamplerFile read_sampler_file(std::string_view file_name,
                              const std::vector<std::string_view>& lines, std::size_t first_line) {
  SamplerFile file;
  const Shape* shape = nullptr;
  for (const Shape& s : kShapes) {
    if (starts_with(file_name, s.prefix)) {
      shape = &s;
      break;
    }
  }
  file.kind = shape ? shape->kind : "table";
  (shape ? shape->reader : read_unknown)(lines, first_line, file);
  // Columns whose legend says they have no source.
  std::vector<std::string> sourceless;
  for (std::string_view line : lines) {
    if (is_legend_line(line) && legend_has_no_source(line))
      sourceless.emplace_back(trim(line.substr(0, line.find("\t== "))));
  }
  // A column of text only is no chart.
  for (auto chart = file.charts.begin(); chart != file.charts.end();) {
    bool numbers = false;
    for (const std::vector<double>& series : chart->series)
      numbers = numbers ||
                std::any_of(series.begin(), series.end(), [](double v) { return !std::isnan(v); });
    if (numbers) {
      ++chart;
      continue;
    }
    if (!chart->texts.empty()) file.text_columns.push_back(std::move(*chart));
    chart = file.charts.erase(chart);
  }
  // Only series over time are charts: a table of one row (or one report)
  // has no time axis.
  file.charts.erase(std::remove_if(file.charts.begin(), file.charts.end(),
                                   [&](const Chart& chart) {
                                     return chart.x.size() < 2 ||
                                            std::find(sourceless.begin(), sourceless.end(),
                                                      chart.title) != sourceless.end();
                                   }),
                    file.charts.end());
  return file;
}

bool config_only_report(const Report& report) {
  for (const Setting& s : report.header.settings)
    if (s.key == "CONFIG_ONLY") return s.value == "TRUE";
  return false;
}

namespace {

// The files among the file dumps `dumps[from, to)` that hold a chart or a problem.
std::vector<SamplerFile> read_dumps(const Report& report, const std::vector<std::size_t>& dumps,
                                    std::size_t from, std::size_t to) {
  std::vector<SamplerFile> files;
  std::vector<std::string_view> lines;
  for (std::size_t d = from; d < to; ++d) {
    const Section& s = report.sections[dumps[d]];
    lines.clear();
    for (std::size_t l = s.body_begin; l < s.body_end; ++l) lines.push_back(report.line(l));
    SamplerFile file = read_sampler_file(s.command, lines, s.body_begin + 1);
    if (file.charts.empty() && file.problems.empty()) continue;
    file.section = dumps[d];
    files.push_back(std::move(file));
  }
  return files;
}

// Reports with more lines of sampler files than this read them on two threads.
constexpr std::size_t kTwoThreadsFrom = 200000;

}  // namespace

std::vector<SamplerFile> sampler_files(const Report& report) {
  // A configuration-only run samples nothing over time.
  if (config_only_report(report)) return {};
  std::vector<std::size_t> dumps;
  std::size_t lines = 0;
  for (std::size_t i = 0; i < report.sections.size(); ++i) {
    const Section& s = report.sections[i];
    if (s.kind != SectionKind::kFileDump) continue;
    dumps.push_back(i);
    lines += s.body_end - s.body_begin;
  }
  if (lines < kTwoThreadsFrom) return read_dumps(report, dumps, 0, dumps.size());
  // Two halves of about as many lines each, the second on a thread of its
  // own; the files come back in the report's order either way.
  std::size_t half = 0;
  for (std::size_t seen = 0; half < dumps.size() && 2 * seen < lines; ++half) {
    const Section& s = report.sections[dumps[half]];
    seen += s.body_end - s.body_begin;
  }
  std::vector<SamplerFile> second;
  Background helper([&] { second = read_dumps(report, dumps, half, dumps.size()); });
  std::vector<SamplerFile> files = read_dumps(report, dumps, 0, half);
  helper.wait();
  files.reserve(files.size() + second.size());
  for (SamplerFile& file : second) files.push_back(std::move(file));
  return files;
}

std::size_t point_count(const Chart& chart) {
  return chart.x.size() * chart.series.size();
}

}  // namespace report
