#include "controller/reply_checks.h"

#include <cstdio>
#include <set>

#include "exec/temp_dir.h"

namespace controller {

bool is_plain_word(const std::string& text, const std::string& extra) {
  if (text.empty()) return false;
  for (char c : text) {
    bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
              c == '_' || c == '-' || c == '.' || extra.find(c) != std::string::npos;
    if (!ok) return false;
  }
  return true;
}

std::string printable(const std::string& text) {
  std::string shown = text;
  for (char& c : shown) {
    unsigned char code = static_cast<unsigned char>(c);
    if (code < 0x20 || code >= 0x7f) c = '?';
  }
  return shown;
}

std::vector<std::string> split_pieces(const std::string& line, char separator) {
  std::vector<std::string> pieces;
  size_t at = 0;
  while (at < line.size()) {
    size_t end = line.find(separator, at);
    if (end == std::string::npos) end = line.size();
    if (end > at) pieces.push_back(line.substr(at, end - at));
    at = end + 1;
  }
  return pieces;
}

void warn_once(const std::string& text) {
  static std::set<std::string> told;
  if (!told.insert(text).second) return;
  std::fprintf(stderr, "WARNING: %s\n", text.c_str());
  exec::append_error_log("WARNING: " + text);
}

}  // namespace controller
