#include "report/header_block.h"

#include "report/markers.h"

namespace report {

namespace {

constexpr std::string_view kVersionStart = "*------------- Kestrel v";

bool is_key_char(char c) {
  return (c >= 'A' && c <= 'Z') || c == '_' || c == ' ';
}

// "KEY, status "value"" lines of the settings; false when the line is not one.
bool read_setting(std::string_view line, Setting& setting) {
  std::size_t comma = line.find(',');
  if (comma == std::string_view::npos || comma == 0) return false;
  std::string_view key = line.substr(0, comma);
  for (char c : key)
    if (!is_key_char(c)) return false;
  std::string_view rest = trim(line.substr(comma + 1));
  bool set = starts_with(rest, "set,");
  if (!set && !starts_with(rest, "default,")) return false;
  rest = trim(rest.substr(set ? 4 : 8));
  if (rest.size() < 2 || rest.front() != '"' || rest.back() != '"') return false;
  setting.key = std::string(key);
  setting.set = set;
  setting.value = std::string(rest.substr(1, rest.size() - 2));
  return true;
}

// "KEY, value" lines of the host part; the value may be empty.
bool read_host_line(std::string_view line, std::string_view key, std::string& value) {
  if (!starts_with(line, key) || line.size() <= key.size() || line[key.size()] != ',') return false;
  value = std::string(trim(line.substr(key.size() + 1)));
  return true;
}

}  // namespace

bool HeaderReader::take(Report& report, std::string_view line, std::size_t index) {
  Header& header = report.header;
  if (state == State::kDone) return false;
  if (is_blank(line)) return true;
  if (state == State::kBefore) {
    if (!starts_with(line, kVersionStart)) {
      state = State::kDone;
      return false;
    }
    header.present = true;
    header.first_line = index + 1;
    std::string_view version = line.substr(kVersionStart.size());
    header.version = std::string(version.substr(0, version.find(' ')));
    state = State::kInside;
    return true;
  }
  Setting setting;
  std::string value;
  if (parse_marker(line)) {
    // falls through to "ends early"
  } else if (read_host_line(line, "SOURCE_HOST_NAME", header.host_name) ||
             read_host_line(line, "SOURCE_HOST_OS", header.host_os) ||
             read_host_line(line, "COMMAND_LINE", header.command_line)) {
    return true;
  } else if (read_host_line(line, "SAMPLES", value)) {
    header.samples = parse_integer(value).value_or(0);
    return true;
  } else if (read_host_line(line, "SAMPLE_INTERVAL", value)) {
    header.sample_interval = parse_integer(value).value_or(0);
    header.last_line = index + 1;
    state = State::kDone;
    return true;
  } else if (read_setting(line, setting)) {
    header.settings.push_back(std::move(setting));
    return true;
  }
  report.problems.push_back({index + 1, "the header block ends early"});
  header.last_line = index;
  state = State::kDone;
  return false;
}

void HeaderReader::finish(Report& report, std::size_t line_count) {
  if (state != State::kInside) return;
  report.problems.push_back({line_count + 1, "the header block ends early"});
  report.header.last_line = line_count;
  state = State::kDone;
}

}  // namespace report
