#include "report/json_text.h"

#include <cmath>
#include <cstdio>

#include "report/text.h"

namespace report {

namespace {

// Printable ASCII that a JSON string (and a <script> element) takes as it is.
bool is_plain(unsigned char c, bool for_html) {
  return c >= 0x20 && c < 0x7f && c != '"' && c != '\\' &&
         !(for_html && (c == '<' || c == '>' || c == '&'));
}

}  // namespace

std::size_t append_json_string(std::string& out, std::string_view text, bool for_html) {
  out += '"';
  std::size_t units = append_json_chars(out, text, for_html);
  out += '"';
  return units;
}

std::size_t append_json_chars(std::string& out, std::string_view text, bool for_html) {
  std::string clean;
  std::string_view source = text;
  if (!is_clean_utf8(text)) {
    append_utf8(clean, text);
    source = clean;
  }
  out.reserve(out.size() + source.size() + 2);
  std::size_t units = 0;
  static const char kHex[] = "0123456789abcdef";
  for (std::size_t i = 0; i < source.size(); ++i) {
    // Runs of plain characters go out in one piece.
    std::size_t run = i;
    while (run < source.size() && is_plain(static_cast<unsigned char>(source[run]), for_html))
      ++run;
    if (run > i) {
      out.append(source.data() + i, run - i);
      units += run - i;
      i = run;
      if (i == source.size()) break;
    }
    unsigned char c = static_cast<unsigned char>(source[i]);
    if (c == '\r') continue;
    if (c >= 0x80) {
      // Count UTF-16 units: lead bytes only, four-byte sequences twice.
      if (c >= 0xC0) units += c >= 0xF0 ? 2 : 1;
      out += static_cast<char>(c);
      continue;
    }
    ++units;
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (c < 0x20 || c == 0x7f || (for_html && (c == '<' || c == '>' || c == '&'))) {
          out += "\\u00";
          out += kHex[c >> 4];
          out += kHex[c & 15];
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return units;
}

std::string json_number_or_null(long long value) {
  return value < 0 ? "null" : std::to_string(value);
}

std::string json_double(double value) {
  if (std::isnan(value) || std::isinf(value)) return "null";
  if (value == std::floor(value) && std::fabs(value) < 1e15) {
    return std::to_string(static_cast<long long>(value));
  }
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.10g", value);
  return buffer;
}

void append_html_text(std::string& out, std::string_view text) {
  std::string clean;
  append_utf8(clean, text);
  for (char c : clean) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&#39;";
        break;
      default:
        out += static_cast<unsigned char>(c) < 0x20 && c != '\n' && c != '\t' ? '?' : c;
    }
  }
}

}  // namespace report
