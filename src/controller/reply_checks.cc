#include "controller/reply_checks.h"

#include <cstdio>
#include <mutex>

#include "core/messages.h"
#include "core/state.h"
#include "exec/temp_dir.h"

namespace controller {

namespace {

struct NameRule {
  const char* what;   // as the warning names it
  std::size_t limit;  // longest name let through
  const char* extra;  // characters allowed beyond the plain ones
};

// Names live in fields of 1024 bytes unless their table says less; a log
// file name shares its field with the "rdfile /etc/log/" before it.
const NameRule& rule_for(ReplyName kind) {
  static const NameRule kRules[] = {
      {"volume", 1023, ""},
      {"virtual controller", 1023, ""},
      {"virtual controller root path", 1023, "/"},
      {"virtual interface", 255, ""},
      {"log file", 1007, ""},
      {"profile file", 1007, ""},
      {"trace file", 1007, ""},
  };
  return kRules[static_cast<int>(kind)];
}

bool only_dots(const std::string& text) {
  return text.find_first_not_of('.') == std::string::npos;
}

}  // namespace

std::size_t max_reply_name_length(ReplyName kind) {
  return rule_for(kind).limit;
}

bool screen_reply_name(const std::string& filer_name, ReplyName kind, const std::string& name) {
  const NameRule& rule = rule_for(kind);
  if (name.size() > rule.limit) {
    warn_once(core::format("%s: %s names longer than %zu characters are left out",
                           filer_name.c_str(), rule.what, rule.limit));
    return false;
  }
  if (!is_plain_word(name, rule.extra) || only_dots(name)) {
    warn_once(
        core::format("%s: %s \"%s\" holds characters a command line or file name cannot "
                     "carry; it is left out",
                     filer_name.c_str(), rule.what, printable(name).c_str()));
    return false;
  }
  return true;
}

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
  constexpr std::size_t kShown = 60;
  std::string shown = text.size() > kShown ? text.substr(0, kShown) + "..." : text;
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
  {
    static std::mutex* lock = new std::mutex;  // controllers are screened side by side
    std::lock_guard<std::mutex> hold(*lock);
    if (!core::state().warnings_told.insert(text).second) return;
  }
  core::error_line("WARNING: " + text);
  exec::append_error_log("WARNING: " + text);
}

}  // namespace controller
