#include "report/text.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace report {

std::vector<LineSpan> index_lines(std::string_view data) {
  std::vector<LineSpan> lines;
  lines.reserve(static_cast<std::size_t>(std::count(data.begin(), data.end(), '\n')) + 1);
  std::size_t start = starts_with(data, "\xEF\xBB\xBF") ? 3 : 0;
  const char* base = data.data();
  while (start < data.size()) {
    const void* found = std::memchr(base + start, '\n', data.size() - start);
    std::size_t stop = found ? static_cast<const char*>(found) - base : data.size();
    std::size_t end = stop;
    if (end > start && base[end - 1] == '\r') --end;
    lines.push_back({static_cast<std::uint32_t>(start), static_cast<std::uint32_t>(end)});
    start = stop + 1;
  }
  return lines;
}

bool starts_with(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && text.compare(0, prefix.size(), prefix) == 0;
}

bool ends_with(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() &&
         text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

namespace {
bool is_space(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v';
}
bool is_digit(char c) {
  return c >= '0' && c <= '9';
}
}  // namespace

std::string_view trim(std::string_view text) {
  while (!text.empty() && is_space(text.front())) text.remove_prefix(1);
  while (!text.empty() && is_space(text.back())) text.remove_suffix(1);
  return text;
}

bool is_blank(std::string_view text) {
  return trim(text).empty();
}

std::optional<long long> parse_integer(std::string_view text) {
  if (text.empty()) return std::nullopt;
  bool negative = false;
  std::size_t i = 0;
  if (text[0] == '-' || text[0] == '+') {
    negative = text[0] == '-';
    i = 1;
  }
  if (i == text.size() || text.size() - i > 18) return std::nullopt;
  long long value = 0;
  for (; i < text.size(); ++i) {
    if (!is_digit(text[i])) return std::nullopt;
    value = value * 10 + (text[i] - '0');
  }
  return negative ? -value : value;
}

std::optional<double> parse_measure(std::string_view text) {
  std::size_t i = 0;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) ++i;
  std::size_t digits = 0;
  for (; i < text.size() && is_digit(text[i]); ++i) ++digits;
  if (i < text.size() && text[i] == '.')
    for (++i; i < text.size() && is_digit(text[i]); ++i) ++digits;
  if (digits == 0 || i > 40) return std::nullopt;
  for (std::size_t u = i; u < text.size(); ++u) {
    char c = text[u];
    bool unit = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '%' || c == '/';
    if (!unit) return std::nullopt;
  }
  // Up to 15 digits and 22 decimals: the digits and the power of ten are
  // exact doubles, so their quotient is what strtod gives, and faster.
  static const double kTens[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                 1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
  if (digits <= 15) {
    std::uint64_t whole = 0;
    std::size_t decimals = 0;
    bool point = false;
    for (std::size_t k = 0; k < i; ++k) {
      const char c = text[k];
      if (c == '.') {
        point = true;
      } else if (is_digit(c)) {
        whole = whole * 10 + static_cast<std::uint64_t>(c - '0');
        decimals += point;
      }
    }
    const double value = static_cast<double>(whole) / kTens[decimals];
    return text[0] == '-' ? -value : value;
  }
  char number[48];
  text.copy(number, i);
  number[i] = '\0';
  return std::strtod(number, nullptr);
}

namespace {

int month_number(std::string_view name) {
  static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  for (int m = 0; m < 12; ++m)
    if (name == kMonths[m]) return m + 1;
  return 0;
}

// Days since 1970-01-01 of a civil date (proleptic Gregorian).
long long days_from_civil(long long y, unsigned m, unsigned d) {
  y -= m <= 2;
  const long long era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<long long>(doe) - 719468;
}

}  // namespace

std::optional<long long> parse_stamp(std::string_view text) {
  std::vector<std::string_view> w = split_words(trim(text));
  if (w.size() != 6 || w[0].size() != 3 || w[4] != "GMT") return std::nullopt;
  int month = month_number(w[1]);
  auto day = parse_integer(w[2]);
  auto year = parse_integer(w[5]);
  std::string_view clock = w[3];
  if (!month || !day || !year || *day < 1 || *day > 31 || *year < 1970 || *year > 9999 ||
      clock.size() != 8 || clock[2] != ':' || clock[5] != ':')
    return std::nullopt;
  auto h = parse_integer(clock.substr(0, 2));
  auto m = parse_integer(clock.substr(3, 2));
  auto s = parse_integer(clock.substr(6, 2));
  if (!h || !m || !s || *h > 23 || *m > 59 || *s > 60 || *h < 0 || *m < 0 || *s < 0)
    return std::nullopt;
  return days_from_civil(*year, month, static_cast<unsigned>(*day)) * 86400 + *h * 3600 + *m * 60 +
         *s;
}

namespace {

// Length of the valid UTF-8 sequence at `p` (0 when invalid), at most `left`.
std::size_t utf8_sequence(const unsigned char* p, std::size_t left) {
  unsigned char c = p[0];
  if (c >= 0x01 && c < 0x80) return 1;
  std::size_t n;
  unsigned min_second = 0x80, max_second = 0xBF;
  if (c >= 0xC2 && c <= 0xDF) {
    n = 2;
  } else if (c >= 0xE0 && c <= 0xEF) {
    n = 3;
    if (c == 0xE0) min_second = 0xA0;
    if (c == 0xED) max_second = 0x9F;  // no surrogates
  } else if (c >= 0xF0 && c <= 0xF4) {
    n = 4;
    if (c == 0xF0) min_second = 0x90;
    if (c == 0xF4) max_second = 0x8F;
  } else {
    return 0;
  }
  if (left < n) return 0;
  if (p[1] < min_second || p[1] > max_second) return 0;
  for (std::size_t i = 2; i < n; ++i)
    if (p[i] < 0x80 || p[i] > 0xBF) return 0;
  return n;
}

}  // namespace

bool is_clean_utf8(std::string_view text) {
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  std::size_t i = 0;
  while (i < text.size()) {
    if (p[i] >= 0x01 && p[i] < 0x80) {
      ++i;
      continue;
    }
    std::size_t n = utf8_sequence(p + i, text.size() - i);
    if (n == 0) return false;
    i += n;
  }
  return true;
}

std::size_t append_utf8(std::string& out, std::string_view text) {
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  std::size_t units = 0;
  std::size_t i = 0;
  std::size_t clean_from = 0;
  while (i < text.size()) {
    if (p[i] >= 0x01 && p[i] < 0x80) {
      ++i;
      ++units;
      continue;
    }
    std::size_t n = utf8_sequence(p + i, text.size() - i);
    if (n == 0) {
      out.append(text.data() + clean_from, i - clean_from);
      out.append("\xEF\xBF\xBD");
      ++units;
      ++i;
      clean_from = i;
      continue;
    }
    units += n == 4 ? 2 : 1;
    i += n;
  }
  out.append(text.data() + clean_from, text.size() - clean_from);
  return units;
}

std::string printable(std::string_view text) {
  std::string out;
  append_utf8(out, text);
  for (char& c : out)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
  return out;
}

std::vector<std::string_view> split_words(std::string_view text) {
  std::vector<std::string_view> words;
  std::size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    std::size_t start = i;
    while (i < text.size() && text[i] != ' ' && text[i] != '\t') ++i;
    if (i > start) words.push_back(text.substr(start, i - start));
  }
  return words;
}

}  // namespace report
