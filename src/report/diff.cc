#include "report/diff.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <unordered_map>

#include "report/text.h"

namespace report {

namespace {

bool is_digit(char c) {
  return c >= '0' && c <= '9';
}
bool is_alpha(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool is_blank_char(char c) {
  return c == ' ' || c == '\t' || c == '\r';
}

std::string_view trim_right(std::string_view text) {
  while (!text.empty() && is_blank_char(text.back())) text.remove_suffix(1);
  return text;
}

// "20:01:25" somewhere in the line.
bool has_time_of_day(std::string_view line) {
  for (std::size_t i = 1; i + 5 < line.size(); ++i) {
    if (line[i] == ':' && is_digit(line[i - 1]) && is_digit(line[i + 1]) && is_digit(line[i + 2]) &&
        line[i + 3] == ':' && is_digit(line[i + 4]) && is_digit(line[i + 5]))
      return true;
  }
  return false;
}

bool is_calendar_name(std::string_view word) {
  static const char* const kNames[] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun",
                                       "Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul",
                                       "Aug", "Sep", "Oct", "Nov", "Dec"};
  for (const char* name : kNames)
    if (word == name) return true;
  return false;
}

// Ids for equal keys, so the diff compares integers.
struct KeyIds {
  std::unordered_map<std::string, int> ids;
  int id(const std::string& key) {
    return ids.emplace(key, static_cast<int>(ids.size())).first->second;
  }
};

// The edit script from `a` to `b`: ' ' for a kept item, '-' for one of `a`
// only, '+' for one of `b` only.
std::vector<char> edit_script(const std::vector<int>& a, const std::vector<int>& b) {
  std::size_t head = 0;
  while (head < a.size() && head < b.size() && a[head] == b[head]) ++head;
  std::size_t tail = 0;
  while (tail < a.size() - head && tail < b.size() - head &&
         a[a.size() - 1 - tail] == b[b.size() - 1 - tail])
    ++tail;
  const std::size_t n = a.size() - head - tail, m = b.size() - head - tail;
  std::vector<char> script(head, ' ');
  constexpr std::size_t kMaxCells = 4u << 20;  // 16 MB of table at most
  if (n == 0 || m == 0 || (n + 1) * (m + 1) > kMaxCells) {
    script.insert(script.end(), n, '-');
    script.insert(script.end(), m, '+');
  } else {
    // lengths[i][j]: longest common subsequence of a[head+i..] and b[head+j..].
    std::vector<std::uint32_t> lengths((n + 1) * (m + 1), 0);
    auto at = [&](std::size_t i, std::size_t j) -> std::uint32_t& {
      return lengths[i * (m + 1) + j];
    };
    for (std::size_t i = n; i-- > 0;) {
      for (std::size_t j = m; j-- > 0;) {
        at(i, j) = a[head + i] == b[head + j] ? at(i + 1, j + 1) + 1
                                              : std::max(at(i + 1, j), at(i, j + 1));
      }
    }
    std::size_t i = 0, j = 0;
    while (i < n && j < m) {
      if (a[head + i] == b[head + j]) {
        script.push_back(' ');
        ++i;
        ++j;
      } else if (at(i + 1, j) >= at(i, j + 1)) {
        script.push_back('-');
        ++i;
      } else {
        script.push_back('+');
        ++j;
      }
    }
    script.insert(script.end(), n - i, '-');
    script.insert(script.end(), m - j, '+');
  }
  script.insert(script.end(), tail, ' ');
  return script;
}

// A line with its plain numbers taken out: the text with '#' in their
// place, and the numbers. A number stands alone: no letter, digit, '_',
// '.', ':', '%' or '/' touches it, so names ("e0a"), times, addresses,
// percentages and values with units stay text.
struct Shape {
  std::string skeleton;
  std::vector<double> numbers;
};

bool joins_number(char c) {
  return is_alpha(c) || is_digit(c) || c == '_' || c == '.' || c == ':' || c == '%' || c == '/';
}

Shape shape_of(std::string_view line) {
  Shape shape;
  std::size_t i = 0;
  while (i < line.size()) {
    char c = line[i];
    if (is_digit(c) && (i == 0 || !joins_number(line[i - 1]))) {
      std::size_t end = i;
      while (end < line.size() && is_digit(line[end])) ++end;
      if (end + 1 < line.size() && line[end] == '.' && is_digit(line[end + 1])) {
        ++end;
        while (end < line.size() && is_digit(line[end])) ++end;
      }
      if (end == line.size() || !joins_number(line[end])) {
        std::string number(line.substr(i, end - i));
        shape.numbers.push_back(std::strtod(number.c_str(), nullptr));
        shape.skeleton += '#';
        i = end;
        continue;
      }
      shape.skeleton.append(line.substr(i, end - i));
      i = end;
      continue;
    }
    if (is_blank_char(c)) {
      if (!shape.skeleton.empty() && shape.skeleton.back() != ' ') shape.skeleton += ' ';
      ++i;
      continue;
    }
    shape.skeleton += c;
    ++i;
  }
  while (!shape.skeleton.empty() && shape.skeleton.back() == ' ') shape.skeleton.pop_back();
  return shape;
}

// The '|'-separated groups of a heading line, each split into words.
std::vector<std::vector<std::string>> heading_groups(std::string_view line) {
  std::vector<std::vector<std::string>> groups(1);
  std::string word;
  for (char c : line) {
    if (is_blank_char(c) || c == '|') {
      if (!word.empty()) groups.back().push_back(word);
      word.clear();
      if (c == '|') groups.emplace_back();
    } else {
      word += c;
    }
  }
  if (!word.empty()) groups.back().push_back(word);
  return groups;
}

// The column names of a table row: the nearest line above it (within its
// block of non-blank lines) that has no numbers, when its words fit the
// row's numbers, one word per number or one more for the row's label. A
// heading above that one with as many '|' groups names the groups
// ("Receive", "Transmit"), and their names go in front.
std::vector<std::string> column_names(const std::vector<std::string_view>& lines, std::size_t row,
                                      std::size_t count) {
  for (std::size_t i = row; i-- > 0;) {
    if (is_blank(lines[i])) break;
    if (!shape_of(lines[i]).numbers.empty()) continue;
    std::vector<std::vector<std::string>> groups = heading_groups(lines[i]);
    std::vector<std::vector<std::string>> above;
    if (i > 0 && !is_blank(lines[i - 1]) && shape_of(lines[i - 1]).numbers.empty())
      above = heading_groups(lines[i - 1]);
    std::vector<std::string> words;
    for (std::size_t g = 0; g < groups.size(); ++g) {
      std::string prefix;
      if (above.size() == groups.size() && groups.size() > 1) {
        for (const std::string& w : above[g]) prefix += w + " ";
      }
      for (const std::string& w : groups[g]) words.push_back(prefix + w);
    }
    if (words.size() == count) return words;
    if (words.size() == count + 1) return {words.begin() + 1, words.end()};
    return {};
  }
  return {};
}

std::string counter_name(const Shape& shape, std::size_t index,
                         const std::vector<std::string>& columns) {
  if (shape.numbers.size() == 1) return shape.skeleton;
  if (!columns.empty()) {
    std::string label;
    for (char c : shape.skeleton)
      if (c != '#') label += c;
    std::string_view trimmed = trim(label);
    return std::string(trimmed) + (trimmed.empty() ? "" : " ") + columns[index];
  }
  return shape.skeleton + " (value " + std::to_string(index + 1) + " of " +
         std::to_string(shape.numbers.size()) + ")";
}

std::string unit_of(std::string_view value) {
  std::size_t i = 0;
  while (i < value.size() &&
         (is_digit(value[i]) || value[i] == '.' || value[i] == '-' || value[i] == '+'))
    ++i;
  return std::string(value.substr(i));
}

}  // namespace

std::string comparison_key(std::string_view line) {
  line = trim_right(line);
  if (!has_time_of_day(line)) return std::string(line);
  std::string key;
  std::size_t i = 0;
  while (i < line.size()) {
    char c = line[i];
    if (is_digit(c)) {
      while (i < line.size() && is_digit(line[i])) ++i;
      key += '#';
    } else if (is_alpha(c)) {
      std::size_t end = i;
      while (end < line.size() && is_alpha(line[end])) ++end;
      std::string_view word = line.substr(i, end - i);
      key.append(is_calendar_name(word) ? std::string_view("~") : word);
      i = end;
    } else if (is_blank_char(c)) {
      while (i < line.size() && is_blank_char(line[i])) ++i;
      key += ' ';
    } else {
      key += c;
      ++i;
    }
  }
  return key;
}

std::vector<DiffLine> line_diff(const std::vector<std::string_view>& before,
                                const std::vector<std::string_view>& after) {
  KeyIds ids;
  std::vector<int> a, b;
  a.reserve(before.size());
  b.reserve(after.size());
  for (std::string_view line : before) a.push_back(ids.id(comparison_key(line)));
  for (std::string_view line : after) b.push_back(ids.id(comparison_key(line)));
  std::vector<DiffLine> diff;
  std::size_t i = 0, j = 0;
  for (char op : edit_script(a, b)) {
    if (op == ' ') {
      diff.push_back({' ', std::string(trim_right(after[j]))});
      ++i;
      ++j;
    } else if (op == '-') {
      diff.push_back({'-', std::string(trim_right(before[i++]))});
    } else {
      diff.push_back({'+', std::string(trim_right(after[j++]))});
    }
  }
  return diff;
}

bool has_changes(const std::vector<DiffLine>& diff) {
  for (const DiffLine& line : diff)
    if (line.op == '-' || line.op == '+') return true;
  return false;
}

std::vector<DiffLine> diff_hunks(const std::vector<DiffLine>& diff, std::size_t context) {
  std::vector<bool> keep(diff.size(), false);
  for (std::size_t i = 0; i < diff.size(); ++i) {
    if (diff[i].op == ' ') continue;
    std::size_t from = i >= context ? i - context : 0;
    std::size_t to = std::min(diff.size(), i + context + 1);
    for (std::size_t k = from; k < to; ++k) keep[k] = true;
  }
  std::vector<DiffLine> hunks;
  std::size_t skipped = 0;
  for (std::size_t i = 0; i < diff.size(); ++i) {
    if (keep[i]) {
      if (skipped) hunks.push_back({'~', std::to_string(skipped) + " unchanged line(s)"});
      skipped = 0;
      hunks.push_back(diff[i]);
    } else {
      ++skipped;
    }
  }
  if (skipped && !hunks.empty())
    hunks.push_back({'~', std::to_string(skipped) + " unchanged line(s)"});
  return hunks;
}

std::vector<CounterRate> counter_rates(const std::vector<std::string_view>& before,
                                       const std::vector<std::string_view>& after, double seconds) {
  KeyIds ids;
  std::vector<Shape> a, b;
  std::vector<int> a_ids, b_ids;
  // Lines with a time of day are clocks, not counters: each gets an id of
  // its own so it never pairs.
  int unique = -1;
  for (std::string_view line : before) {
    a.push_back(shape_of(line));
    a_ids.push_back(has_time_of_day(line) ? unique-- : ids.id(a.back().skeleton));
  }
  for (std::string_view line : after) {
    b.push_back(shape_of(line));
    b_ids.push_back(has_time_of_day(line) ? unique-- : ids.id(b.back().skeleton));
  }
  std::vector<CounterRate> rates;
  std::size_t i = 0, j = 0;
  for (char op : edit_script(a_ids, b_ids)) {
    if (op == '-') {
      ++i;
      continue;
    }
    if (op == '+') {
      ++j;
      continue;
    }
    const Shape& was = a[i];
    const Shape& now = b[j];
    std::vector<std::string> columns;
    bool looked = false;
    for (std::size_t k = 0; k < now.numbers.size() && k < was.numbers.size(); ++k) {
      if (!(now.numbers[k] > was.numbers[k])) continue;
      if (!looked) columns = column_names(after, j, now.numbers.size());
      looked = true;
      CounterRate rate;
      rate.name = counter_name(now, k, columns);
      rate.before = was.numbers[k];
      rate.after = now.numbers[k];
      rate.rate = seconds > 0 ? (rate.after - rate.before) / seconds
                              : std::numeric_limits<double>::quiet_NaN();
      rates.push_back(std::move(rate));
    }
    ++i;
    ++j;
  }
  return rates;
}

std::vector<CounterRate> stats_stop_rates(const std::vector<std::string_view>& lines,
                                          double seconds) {
  std::vector<CounterRate> rates;
  for (std::string_view raw : lines) {
    std::string_view line = trim(raw);
    std::size_t last = line.rfind(':');
    if (last == std::string_view::npos || last == 0) continue;
    std::size_t counter = line.rfind(':', last - 1);
    if (counter == std::string_view::npos || counter == 0) continue;
    if (line.find(':') == counter) continue;  // object:instance:counter:value needs three
    std::string_view value = line.substr(last + 1);
    std::optional<double> number = parse_measure(value);
    if (!number) continue;
    if (line.substr(counter + 1, last - counter - 1) == "time") continue;  // a stamp
    CounterRate rate;
    rate.name = std::string(line.substr(0, last));
    rate.after = *number;
    rate.unit = unit_of(value);
    rate.is_level = !rate.unit.empty();
    if (rate.is_level) {
      rate.rate = *number;
    } else {
      rate.rate = seconds > 0 ? *number / seconds : std::numeric_limits<double>::quiet_NaN();
    }
    rates.push_back(std::move(rate));
  }
  return rates;
}

}  // namespace report
