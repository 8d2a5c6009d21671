#include "exec/reply_lines.h"

namespace exec {

bool read_bounded_line(std::istream& in, std::string& line, bool& cut, std::size_t limit) {
  line.clear();
  cut = false;
  std::streambuf* buffer = in.rdbuf();
  if (buffer == nullptr || !in.good()) return false;
  bool any = false;
  for (;;) {
    int c = buffer->sbumpc();
    if (c == std::char_traits<char>::eof()) {
      in.setstate(std::ios::eofbit);
      return any;
    }
    any = true;
    if (c == '\n') return true;
    if (line.size() < limit) {
      line.push_back(static_cast<char>(c));
    } else {
      cut = true;
    }
  }
}

std::vector<std::string> read_reply_lines(std::istream& in, bool& truncated) {
  std::vector<std::string> lines;
  truncated = false;
  std::size_t bytes = 0;
  std::string line;
  bool cut = false;
  while (read_bounded_line(in, line, cut)) {
    if (cut) truncated = true;
    if (lines.size() == kReplyMaxLines || bytes + line.size() > kReplyMaxBytes) {
      truncated = true;
      break;
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    bytes += line.size();
    lines.push_back(line);
  }
  return lines;
}

}  // namespace exec
