// One pass over the lines of a report. Every line belongs to the header, a
// marker, a section's output or closing lines, or loose text; nothing is
// dropped and nothing read can make the pass fail.
#include <algorithm>

#include "report/error_log.h"
#include "report/header_block.h"
#include "report/markers.h"
#include "report/report.h"

namespace report {

const char* kind_name(SectionKind kind) {
  switch (kind) {
    case SectionKind::kCommand:
      return "command";
    case SectionKind::kFileDump:
      return "file";
    case SectionKind::kStatsPreset:
      return "stats";
    case SectionKind::kDateHeader:
      return "date";
    case SectionKind::kErrorLog:
      return "errorlog";
    case SectionKind::kPretend:
      return "pretend";
    case SectionKind::kLoose:
      return "text";
  }
  return "text";
}

std::string_view section_text(const Report& report, const Section& section) {
  if (section.body_end <= section.body_begin || section.body_end > report.lines.size()) return {};
  std::size_t from = report.lines[section.body_begin].begin;
  std::size_t to = report.lines[section.body_end - 1].end;
  return std::string_view(report.data).substr(from, to - from);
}

namespace {

constexpr std::size_t kMaxProblems = 200;
constexpr std::string_view kExeTime = "EXE-TIME of: ";
constexpr std::string_view kEpoch = "KESTREL_EPOCH: ";

constexpr std::string_view kVzone = ":[VZ]:";

// What the pass is in the middle of.
enum class Open { kNothing, kSection, kErrorLog, kStatistics };

struct Pass {
  explicit Pass(Report& r) : report(r) {}
  Report& report;
  Open open = Open::kNothing;
  std::size_t section = 0;  // index of the open section
  bool after_exe_time = false;
  std::size_t exe_line = 0;
  int iteration = 1;
  std::string block_phase, block_target;  // the BEGIN/END block we are in
  std::size_t loose = SIZE_MAX;           // index of the loose section being filled
  int expect_epoch_for = 0;               // 1: iteration begin, 2: iteration end
  bool pretend_run = false;               // the header says PRETEND TRUE
  bool statistics_seen = false;
  std::size_t problem_overflow = 0;
  HeaderReader header;
  ErrorLogReader error_log;
  // The open section's body, counted as it is read: the end of its last
  // line that is not blank, its lines of text and its Begin/End stamps.
  std::size_t body_last = 0;
  std::size_t body_text = 0;
  std::size_t body_stamps = 0;
  // What the structure checks need.
  bool targets_known = false;
  std::vector<std::string> targets;  // the header's controllers and host
  int open_iteration = -1;           // -1: no iteration open
  int last_iteration = 0;
  std::size_t error_log_line = 0;  // 1-based
  std::string error_log_inside;    // the open block or iteration around it
  std::size_t statistics_line = 0;
  std::size_t markers_in_log = 0;
  std::size_t markers_after_statistics = 0;
  std::size_t bad_lines = 0, first_bad_line = 0;
  // With a sink, the sections read to their end leave the report.
  const SectionSink* sink = nullptr;
  std::size_t iterations_dropped = 0;
  std::size_t handed = 0;
  std::size_t marked_handed = 0;  // of them, those with a marker
  Section last_marked;            // the last of those that is not loose or pretend text
  bool has_last_marked = false;
};

// Gives the sink every section kept so far; they are all read to their end.
void hand_over(Pass& pass) {
  if (pass.sink == nullptr) return;
  std::vector<Section>& list = pass.report.sections;
  const bool open = pass.open == Open::kSection || pass.open == Open::kErrorLog;
  const std::size_t done = open ? std::min(pass.section, list.size()) : list.size();
  for (std::size_t i = 0; i < done; ++i) {
    const Section& s = list[i];
    (*pass.sink)(s, pass.handed++);
    if (s.kind != SectionKind::kLoose) ++pass.marked_handed;
    if (s.kind != SectionKind::kLoose && s.kind != SectionKind::kPretend) {
      pass.last_marked = s;
      pass.has_last_marked = true;
    }
  }
  list.erase(list.begin(), list.begin() + static_cast<std::ptrdiff_t>(done));
  pass.section = pass.section >= done ? pass.section - done : 0;
}

void note(Pass& pass, std::size_t line, std::string message, bool structural = false) {
  if (structural) ++pass.report.structure_problems;
  if (pass.report.problems.size() < kMaxProblems) {
    pass.report.problems.push_back({line, std::move(message), structural});
  } else {
    ++pass.problem_overflow;
  }
}

// A marker that does not fit where it stands: the report is damaged (or a
// reply in a report written before the escape forged it).
void damage(Pass& pass, std::size_t line, std::string message) {
  note(pass, line, std::move(message), true);
}

Section& current(Pass& pass) {
  return pass.report.sections[pass.section];
}

bool is_file_name(std::string_view tail) {
  return !tail.empty() && tail.find(' ') == std::string_view::npos &&
         tail.find('.') != std::string_view::npos && tail.find('/') == std::string_view::npos &&
         tail.find('\\') == std::string_view::npos;
}

// "EXE-TIME of: cmd : 12 seconds" -> 12.
std::optional<long long> exe_seconds(std::string_view line) {
  std::size_t colon = line.rfind(" : ");
  if (colon == std::string_view::npos || !ends_with(line, " seconds")) return std::nullopt;
  std::string_view number = line.substr(colon + 3, line.size() - colon - 3 - 8);
  return parse_integer(number);
}

// "TIME_DELTA: 02:05 (125s)" -> 125.
std::optional<long long> delta_seconds(std::string_view line) {
  std::size_t open = line.rfind('(');
  if (open == std::string_view::npos || !ends_with(line, "s)")) return std::nullopt;
  return parse_integer(line.substr(open + 1, line.size() - open - 3));
}

// A line of the open section's output.
void count_body_line(Pass& pass, std::string_view line, std::size_t index) {
  if (is_blank(line)) return;
  pass.body_last = index + 1;
  if (starts_with(line, "TIME: ") || starts_with(line, "TIME_DELTA: ")) return;
  if (starts_with(line, "Begin: ") || starts_with(line, "End: ")) {
    ++pass.body_stamps;
  } else {
    ++pass.body_text;
  }
}

bool body_is_empty(const Pass& pass, const Section& s) {
  return pass.body_text == 0 && (s.kind == SectionKind::kFileDump || pass.body_stamps == 0);
}

// Leaves out the blank lines at the end of the open section.
void trim_body(const Pass& pass, Section& s) {
  s.body_end = std::min(s.body_end, std::max(s.body_begin, pass.body_last));
}

// Ends the open section before line `next` (0-based).
void close_open(Pass& pass, std::size_t next) {
  if (pass.open == Open::kSection) {
    Section& s = current(pass);
    if (!pass.after_exe_time) s.body_end = std::max(s.body_begin, next);
    // The split stats report has no closing lines of its own.
    if (!s.closed && starts_with(s.command, "stats stop -I ") && s.kind == SectionKind::kCommand &&
        !pass.after_exe_time && !s.time_stamp.empty()) {
      s.kind = SectionKind::kStatsPreset;
      s.closed = true;
    }
    if (s.kind == SectionKind::kDateHeader) s.closed = true;
    if (s.kind == SectionKind::kCommand && is_file_name(s.command) && s.phase == "POSTSTATS")
      s.kind = SectionKind::kFileDump;
    trim_body(pass, s);
    s.empty = !s.excluded && body_is_empty(pass, s);
    if (s.seconds >= 0 && s.end_epoch >= 0) s.start_epoch = s.end_epoch - s.seconds;
  } else if (pass.open == Open::kErrorLog) {
    Section& s = current(pass);
    s.body_end = next;
    trim_body(pass, s);
    s.empty = s.body_end == s.body_begin;
  }
  pass.open = Open::kNothing;
  pass.after_exe_time = false;
}

Section& add_section(Pass& pass, SectionKind kind, std::size_t line) {
  hand_over(pass);
  Section s;
  s.kind = kind;
  s.iteration = pass.iteration;
  s.phase = pass.block_phase;
  s.target = pass.block_target;
  s.line = line + 1;
  s.body_begin = line + 1;
  s.body_end = line + 1;
  pass.report.sections.push_back(std::move(s));
  pass.loose = SIZE_MAX;
  pass.body_last = pass.body_text = pass.body_stamps = 0;
  return pass.report.sections.back();
}

void add_loose_line(Pass& pass, std::size_t line) {
  if (pass.loose != SIZE_MAX && pass.report.sections[pass.loose].body_end == line) {
    pass.report.sections[pass.loose].body_end = line + 1;
    return;
  }
  Section& s = add_section(pass, SectionKind::kLoose, line);
  s.body_begin = line;
  s.body_end = line + 1;
  s.closed = true;
  s.command = "(text outside sections)";
  pass.loose = pass.report.sections.size() - 1;
}

void begin_iteration(Pass& pass, const Title& title, const Marker& marker, std::size_t line) {
  const std::string number = std::to_string(title.iteration);
  if (pass.open_iteration >= 0) {
    damage(pass, line + 1,
           "BEGIN Iteration " + number + " while iteration " + std::to_string(pass.open_iteration) +
               " is still open");
  } else if (title.iteration != pass.last_iteration + 1) {
    damage(pass, line + 1,
           "BEGIN Iteration " + number + " out of order: iteration " +
               std::to_string(pass.last_iteration + 1) + " comes next");
  }
  if (!pass.block_phase.empty()) {
    damage(pass, line + 1,
           "BEGIN Iteration " + number + " inside the " + pass.block_phase + " block of " +
               pass.block_target);
  }
  if (pass.sink != nullptr) {
    // Only the last iteration is ever looked at again.
    pass.iterations_dropped += pass.report.iterations.size();
    pass.report.iterations.clear();
  }
  pass.open_iteration = title.iteration;
  pass.last_iteration = title.iteration;
  pass.iteration = title.iteration;
  Iteration it;
  it.number = title.iteration;
  it.begin_stamp = std::string(marker.tail);
  it.begin_epoch = parse_stamp(marker.tail).value_or(-1);
  it.begin_line = line + 1;
  pass.report.iterations.push_back(it);
  pass.expect_epoch_for = 1;
}

void end_iteration(Pass& pass, const Title& title, const Marker& marker, std::size_t line) {
  const bool closes_open = pass.open_iteration == title.iteration;
  if (pass.open_iteration >= 0 && !closes_open) {
    damage(pass, line + 1,
           "END Iteration " + std::to_string(title.iteration) + " while iteration " +
               std::to_string(pass.open_iteration) + " is open");
  } else if (!closes_open) {
    damage(pass, line + 1,
           "END Iteration " + std::to_string(title.iteration) + " without its BEGIN");
  }
  if (!pass.block_phase.empty()) {
    damage(pass, line + 1,
           "END Iteration " + std::to_string(title.iteration) + " inside the " + pass.block_phase +
               " block of " + pass.block_target);
  }
  pass.open_iteration = -1;
  // The open iteration is the last one begun.
  Iteration* it = closes_open ? &pass.report.iterations.back() : nullptr;
  if (it == nullptr) {
    Iteration fresh;
    fresh.number = title.iteration;
    pass.report.iterations.push_back(fresh);
    it = &pass.report.iterations.back();
  }
  it->end_stamp = std::string(marker.tail);
  it->end_epoch = parse_stamp(marker.tail).value_or(-1);
  it->end_line = line + 1;
  pass.expect_epoch_for = 2;
}

void begin_block(Pass& pass, const Title& title, const Marker& marker, std::size_t line) {
  if (!pass.block_phase.empty()) {
    damage(pass, line + 1,
           "BEGIN " + std::string(title.phase) + " " + std::string(marker.tail) +
               " while the block of " + pass.block_target + " is still open");
  }
  if (pass.sink != nullptr) {
    // Blocks read to their END are never looked at again.
    auto& blocks = pass.report.blocks;
    blocks.erase(std::remove_if(blocks.begin(), blocks.end(),
                                [](const Block& b) { return b.end_line != 0; }),
                 blocks.end());
  }
  pass.block_phase = std::string(title.phase);
  pass.block_target = std::string(marker.tail);
  Block block;
  block.iteration = pass.iteration;
  block.phase = pass.block_phase;
  block.target = pass.block_target;
  block.begin_line = line + 1;
  pass.report.blocks.push_back(block);
}

void end_block(Pass& pass, const Title& title, const Marker& marker, std::size_t line) {
  for (auto it = pass.report.blocks.rbegin(); it != pass.report.blocks.rend(); ++it) {
    if (it->phase == title.phase && it->target == marker.tail && it->end_line == 0) {
      it->end_line = line + 1;
      pass.block_phase.clear();
      pass.block_target.clear();
      return;
    }
  }
  damage(pass, line + 1,
         "END " + std::string(title.phase) + " " + std::string(marker.tail) + " without its BEGIN");
  pass.block_phase.clear();
  pass.block_target.clear();
}

bool known_target(const Pass& pass, std::string_view target) {
  std::size_t vzone = target.find(kVzone);
  if (vzone != std::string_view::npos) target = target.substr(0, vzone);
  return std::find(pass.targets.begin(), pass.targets.end(), target) != pass.targets.end();
}

// A section names a target of the header and stands in its own block.
void check_section_place(Pass& pass, const Section& s, std::size_t line) {
  if (s.target.empty()) return;
  if (pass.targets_known && !known_target(pass, s.target)) {
    damage(pass, line + 1,
           "the section's target " + s.target + " is not among the header's controllers and host");
  }
  if (!pass.block_phase.empty() && (s.target != pass.block_target || s.phase != pass.block_phase)) {
    damage(pass, line + 1,
           "a section of " + s.target + " " + s.phase + " inside the " + pass.block_phase +
               " block of " + pass.block_target);
  }
}

void open_section(Pass& pass, const Title& title, const Marker& marker, std::size_t line) {
  Section& s = add_section(pass, SectionKind::kCommand, line);
  s.title = std::string(trim(marker.title));
  s.command = std::string(marker.tail);
  if (title.kind == TitleKind::kSection) {
    s.category = std::string(title.category);
    s.phase = std::string(title.phase);
    s.target = std::string(title.target);
  } else {
    damage(pass, line + 1, "a marker with an unknown title: " + s.title);
  }
  pass.section = pass.report.sections.size() - 1;
  pass.open = Open::kSection;
  check_section_place(pass, s, line);
  if (s.category == "CONFIG" && s.phase == "POSTSTATS" && s.command == "ERROR LOG") {
    if (pass.error_log_line != 0) {
      damage(pass, line + 1,
             "a second ERROR LOG section; the first is at line " +
                 std::to_string(pass.error_log_line));
    } else if (!pass.block_phase.empty()) {
      pass.error_log_inside = "the " + pass.block_phase + " block of " + pass.block_target;
    } else if (pass.open_iteration >= 0) {
      pass.error_log_inside = "iteration " + std::to_string(pass.open_iteration);
    }
    if (pass.error_log_line == 0) pass.error_log_line = line + 1;
    s.kind = SectionKind::kErrorLog;
    s.closed = true;
    pass.open = Open::kErrorLog;
  } else if (s.category == "PERF" && s.command == "date" && pass.block_phase.empty()) {
    s.kind = SectionKind::kDateHeader;
  }
}

void on_marker(Pass& pass, const Marker& marker, std::size_t line) {
  close_open(pass, line);
  pass.expect_epoch_for = 0;
  if (!marker.whole) damage(pass, line + 1, "a marker line with missing parts");
  if (pass.statistics_seen && pass.markers_after_statistics++ == 0) {
    damage(pass, line + 1,
           "a marker line after the execution statistics of line " +
               std::to_string(pass.statistics_line));
  } else if (pass.statistics_seen) {
    ++pass.report.structure_problems;  // told once, counted each time
  }
  Title title = classify_title(marker.title);
  switch (title.kind) {
    case TitleKind::kIterationBegin:
      begin_iteration(pass, title, marker, line);
      break;
    case TitleKind::kIterationEnd:
      end_iteration(pass, title, marker, line);
      break;
    case TitleKind::kBlockBegin:
      begin_block(pass, title, marker, line);
      break;
    case TitleKind::kBlockEnd:
      end_block(pass, title, marker, line);
      break;
    default:
      open_section(pass, title, marker, line);
      break;
  }
  pass.loose = SIZE_MAX;
}

void add_pretend(Pass& pass, std::string_view text, std::size_t line, bool host) {
  Section& s = add_section(pass, SectionKind::kPretend, line);
  s.command = std::string(trim(text.substr(host ? 6 : 7)));
  s.category = "";
  if (host && s.target.empty()) s.target = pass.report.header.host_name;
  s.body_begin = s.body_end = line;
  s.closed = true;
}

// A line when no section is open, or after a section's closing lines.
void on_free_line(Pass& pass, std::string_view text, std::size_t line) {
  if (is_blank(text)) return;
  if (starts_with(text, kEpoch)) {
    long long epoch = parse_integer(trim(text.substr(kEpoch.size()))).value_or(-1);
    if (pass.expect_epoch_for != 0 && !pass.report.iterations.empty()) {
      Iteration& it = pass.report.iterations.back();
      (pass.expect_epoch_for == 1 ? it.begin_epoch : it.end_epoch) = epoch;
      pass.expect_epoch_for = 0;
    }
    return;  // the epoch printed before a split stats section
  }
  if (starts_with(text, "Host: ") || starts_with(text, "Filer: ")) {
    add_pretend(pass, text, line, text[0] == 'H');
    return;
  }
  if (starts_with(text, "Sleep: ")) {
    auto minutes = parse_integer(trim(text.substr(7)));
    if (minutes && !pass.report.iterations.empty())
      pass.report.iterations.back().pretend_sleep_minutes = static_cast<int>(*minutes);
    if (minutes && pass.report.iterations.empty()) {
      Iteration it;
      it.number = pass.iteration;
      it.pretend_sleep_minutes = static_cast<int>(*minutes);
      pass.report.iterations.push_back(it);
    }
    if (minutes) return;
  }
  add_loose_line(pass, line);
}

void on_section_line(Pass& pass, std::string_view text, std::size_t line) {
  Section& s = current(pass);
  if (pass.after_exe_time || s.closed) {
    if (starts_with(text, kEpoch) && pass.after_exe_time && s.end_epoch < 0) {
      s.end_epoch = parse_integer(trim(text.substr(kEpoch.size()))).value_or(-1);
      s.closed = true;
      return;
    }
    // The section has all its lines: what follows is outside it.
    if (!is_blank(text)) close_open(pass, line);
    on_free_line(pass, text, line);
    return;
  }
  const bool first = line == s.body_begin;
  if (s.kind == SectionKind::kDateHeader) {
    if (first && parse_stamp(text)) {
      s.time_stamp = std::string(trim(text));
      s.start_epoch = s.end_epoch = *parse_stamp(text);
      s.body_end = line + 1;
      count_body_line(pass, text, line);
      pass.after_exe_time = true;  // the date line is all it has
      s.closed = true;
      return;
    }
    s.kind = SectionKind::kCommand;  // a command that happens to be called "date"
  }
  if (starts_with(text, kExeTime)) {
    auto seconds = exe_seconds(text);
    if (seconds && *seconds >= 0 && *seconds < 100000000) {
      s.seconds = static_cast<int>(*seconds);
      s.body_end = line;
      pass.after_exe_time = true;
      pass.exe_line = line;
      return;
    }
  }
  if (starts_with(text, kEpoch) && starts_with(s.command, "stats stop -I ") &&
      !s.time_stamp.empty()) {
    // The split stats report: the epoch line opens the next object.
    s.body_end = line;
    s.kind = SectionKind::kStatsPreset;
    s.closed = true;
    s.end_epoch = parse_integer(trim(text.substr(kEpoch.size()))).value_or(-1);
    pass.after_exe_time = true;
    return;
  }
  count_body_line(pass, text, line);
  if (first && starts_with(text, "Excluded: ")) s.excluded = true;
  if (starts_with(text, "Killing process tree at PID: ") ||
      starts_with(text, "FATAL: Unable to kill process tree") ||
      starts_with(text, "FATAL (errno: ")) {
    s.killed = true;
  }
  if (line <= s.body_begin + 2 && starts_with(text, "TIME: ")) {
    s.time_stamp = std::string(trim(text.substr(6)));
  } else if (line <= s.body_begin + 2 && starts_with(text, "TIME_DELTA: ")) {
    auto delta = delta_seconds(trim(text));
    if (delta && *delta >= 0 && *delta < 100000000) s.seconds = static_cast<int>(*delta);
  } else if (starts_with(text, "Begin: ") || starts_with(text, "End: ")) {
    std::string stamp(trim(text.substr(text[0] == 'B' ? 7 : 5)));
    if (parse_stamp(stamp)) {
      if (s.begin_stamp.empty() && text[0] == 'B') {
        s.begin_stamp = stamp;
      } else {
        s.end_stamp = stamp;
      }
    }
  }
}

void on_statistics(Pass& pass, std::size_t line) {
  if (pass.statistics_seen) {
    damage(pass, line + 1,
           "a second execution statistics line; the first is at line " +
               std::to_string(pass.statistics_line));
  } else if (pass.open != Open::kErrorLog) {
    damage(pass, line + 1, "the execution statistics do not follow the error log");
  }
  if (pass.statistics_line == 0) pass.statistics_line = line + 1;
  close_open(pass, line);
  pass.open = Open::kStatistics;
  pass.statistics_seen = true;
  pass.loose = SIZE_MAX;
}

void read_line(Pass& pass, std::string_view text, std::size_t line) {
  if (pass.open == Open::kErrorLog) {
    if (is_statistics_line(text)) {
      on_statistics(pass, line);
      return;
    }
    if (parse_marker(text) && pass.markers_in_log++ == 0) {
      damage(pass, line + 1,
             "a marker line inside the error log of line " + std::to_string(pass.error_log_line));
    } else if (parse_marker(text)) {
      ++pass.report.structure_problems;  // told once, counted each time
    }
    count_body_line(pass, text, line);
    pass.error_log.take(pass.report, text, line);
    return;
  }
  if (pass.open == Open::kStatistics) {
    const std::string_view total = "  Total Running Time: ";
    if (starts_with(text, total) && ends_with(text, " seconds") &&
        pass.report.total_running_seconds < 0) {
      std::string_view rest = text.substr(total.size());
      auto seconds = parse_integer(rest.substr(0, rest.size() - 8));
      if (seconds && *seconds >= 0) {
        pass.report.total_running_seconds = *seconds;
        pass.report.complete = true;
        return;
      }
    }
  }
  if (auto marker = parse_marker(text)) {
    on_marker(pass, *marker, line);
    return;
  }
  if (is_statistics_line(text)) {
    on_statistics(pass, line);
    return;
  }
  // In pretend mode nothing closes with EXE-TIME: a listed command ends
  // whatever the stats split (which runs even then) left open.
  if (pass.open == Open::kSection && pass.pretend_run &&
      (starts_with(text, "Host: ") || starts_with(text, "Filer: "))) {
    close_open(pass, line);
  }
  if (pass.open == Open::kSection) {
    on_section_line(pass, text, line);
  } else {
    on_free_line(pass, text, line);
  }
}

std::string describe(const Section& s) {
  std::string where = s.command.empty() ? s.title : s.command;
  if (!s.target.empty()) where += " on " + s.target;
  return "'" + where + "' (line " + std::to_string(s.line) + ")";
}

bool config_only(const Report& r) {
  for (const Setting& s : r.header.settings)
    if (s.key == "CONFIG_ONLY") return s.value == "TRUE";
  return false;
}

// A report read to its end closes what it opened, and its error log stands
// after the iterations.
void check_whole_structure(Pass& pass) {
  if (!pass.error_log_inside.empty()) {
    damage(pass, pass.error_log_line, "the ERROR LOG section lies inside " + pass.error_log_inside);
  }
  for (const Block& b : pass.report.blocks) {
    if (b.end_line == 0)
      damage(pass, b.begin_line, "BEGIN " + b.phase + " " + b.target + " has no END line");
  }
  if (pass.open_iteration >= 0) {
    const Iteration* it = &pass.report.iterations.back();
    damage(pass, it->begin_line,
           "BEGIN Iteration " + std::to_string(pass.open_iteration) + " has no END line");
  }
  if (pass.markers_in_log > 1) {
    note(pass, pass.error_log_line,
         "the error log of this line holds " + std::to_string(pass.markers_in_log) +
             " marker lines in all");
  }
  if (pass.markers_after_statistics > 1) {
    note(pass, pass.statistics_line,
         std::to_string(pass.markers_after_statistics) +
             " marker lines follow the execution statistics of this line");
  }
}

// Says where and why the report stops short of its normal end.
void explain_end(Pass& pass) {
  Report& r = pass.report;
  const std::size_t last = r.line_count;
  const bool interrupted = pass.error_log.interrupted;
  // A config-only run ends with its error log, without execution statistics.
  if (!r.complete && config_only(r) && !r.sections.empty() &&
      r.sections.back().kind == SectionKind::kErrorLog && !interrupted) {
    r.complete = true;
  }
  if (r.complete) {
    check_whole_structure(pass);
    return;
  }
  r.stop_line = last;
  const Section* open = nullptr;
  for (auto it = r.sections.rbegin(); it != r.sections.rend(); ++it) {
    if (it->kind == SectionKind::kLoose || it->kind == SectionKind::kPretend) continue;
    open = &*it;
    break;
  }
  if (open == nullptr && pass.has_last_marked) open = &pass.last_marked;
  bool error_log = open != nullptr && open->kind == SectionKind::kErrorLog;
  if (pass.statistics_seen) {
    r.stop_reason = "the report ends at line " + std::to_string(last) +
                    " inside the execution statistics, before the total running time";
  } else if (open != nullptr && !open->closed) {
    r.stop_reason = "the report ends at line " + std::to_string(last) + " inside the section " +
                    describe(*open) + ", before its EXE-TIME line: the run was cut short";
  } else if (error_log && interrupted) {
    r.stop_reason = "the run was interrupted: the error log follows at line " +
                    std::to_string(open->line) + " without the execution statistics";
  } else if (error_log) {
    r.stop_reason = "the report ends at line " + std::to_string(last) +
                    " inside the error log, before the execution statistics";
  } else {
    r.stop_reason = "the report ends at line " + std::to_string(last) +
                    " without the execution statistics: the run was cut short";
  }
  for (const Block& b : r.blocks) {
    if (b.end_line == 0)
      note(pass, b.begin_line, "BEGIN " + b.phase + " " + b.target + " has no END line");
  }
}

void check_bytes(Pass& pass, std::string_view line, std::size_t index) {
  for (unsigned char c : line) {
    if (c >= 0x80 || c == 0) {
      if (!is_clean_utf8(line) && pass.bad_lines++ == 0) pass.first_bad_line = index + 1;
      return;
    }
  }
}

void note_bytes(Pass& pass) {
  if (pass.bad_lines > 0) {
    note(pass, pass.first_bad_line,
         std::to_string(pass.bad_lines) +
             " line(s) hold bytes that are not UTF-8 text; they are shown as \xEF\xBF\xBD");
  }
}

// What the header tells the pass, once it is read.
void start(Pass& pass) {
  const Header& h = pass.report.header;
  for (const Setting& s : h.settings) {
    if (s.key == "PRETEND") pass.pretend_run = s.value == "TRUE";
    if (s.key != "FILER_TARGETS" || h.host_name.empty()) continue;
    pass.targets_known = true;
    std::string_view list = s.value;
    while (!list.empty()) {
      std::size_t comma = list.find(',');
      std::string_view name = trim(list.substr(0, comma));
      if (!name.empty()) pass.targets.emplace_back(name);
      list = comma == std::string_view::npos ? std::string_view() : list.substr(comma + 1);
    }
    pass.targets.push_back(h.host_name);
  }
}

// One line of the report, 0-based `index`, in order.
void feed(Pass& pass, std::string_view text, std::size_t index) {
  check_bytes(pass, text, index);
  if (pass.header.state != HeaderReader::State::kDone) {
    bool taken = pass.header.take(pass.report, text, index);
    if (pass.header.state == HeaderReader::State::kDone) start(pass);
    if (taken) return;
  }
  read_line(pass, text, index);
}

// After the last line.
void finish(Pass& pass, std::size_t line_count) {
  Report& report = pass.report;
  report.line_count = line_count;
  if (pass.header.state != HeaderReader::State::kDone) {
    pass.header.finish(report, line_count);
    start(pass);
  }
  close_open(pass, line_count);

  std::size_t markers = pass.marked_handed;
  for (const Section& s : report.sections)
    if (s.kind != SectionKind::kLoose) ++markers;
  report.section_count = pass.handed + report.sections.size();
  report.iteration_count = pass.iterations_dropped + report.iterations.size();
  report.looks_like_report =
      report.header.present || markers > 0 || !report.blocks.empty() || report.iteration_count > 0;
  if (report.looks_like_report) {
    note_bytes(pass);
    explain_end(pass);
    if (pass.problem_overflow > 0) {
      report.problems.push_back(
          {0, "and " + std::to_string(pass.problem_overflow) + " more problem(s) not listed"});
    }
  }
  hand_over(pass);
}

}  // namespace

Report parse_report(std::string data) {
  Report report;
  if (data.size() > kMaxReportBytes) {
    data.resize(kMaxReportBytes);
    report.problems.push_back({0, "the file is larger than 4 GB; only its start is read"});
  }
  report.bytes = data.size();
  report.data = std::move(data);
  report.lines = index_lines(report.data);
  // Room for the sections at once (a marker line opens most of them): the
  // vector is not moved as it grows.
  std::size_t markers = 0;
  for (std::size_t i = 0; i < report.lines.size(); ++i)
    markers += starts_with(report.line(i), "=-=-=-=-=-= ");
  report.sections.reserve(markers);
  Pass pass(report);
  for (std::size_t i = 0; i < report.lines.size(); ++i) feed(pass, report.line(i), i);
  finish(pass, report.lines.size());
  return report;
}

namespace {

// The longest line the outline reader looks at; the rest of a longer line
// is counted but not kept.
constexpr std::size_t kMaxOutlineLine = 1u << 20;

// `text` without an incomplete UTF-8 sequence at its end.
std::string_view whole_sequences(std::string_view text) {
  std::size_t back = 0;
  while (back < 3 && back < text.size() &&
         (static_cast<unsigned char>(text[text.size() - 1 - back]) & 0xC0) == 0x80)
    ++back;
  if (back < text.size()) {
    unsigned char lead = static_cast<unsigned char>(text[text.size() - 1 - back]);
    std::size_t need = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    if (need > back + 1) return text.substr(0, text.size() - 1 - back);
  }
  return text;
}

}  // namespace

Report read_report_outline(std::istream& in, const SectionSink& sink) {
  Report report;
  Pass pass(report);
  if (sink) pass.sink = &sink;
  std::vector<char> buffer(1u << 16);
  std::string line;
  bool long_line = false, pending = false, first_chunk = true;
  std::size_t index = 0;
  auto take_line = [&]() {
    std::string_view text(line);
    if (long_line) text = whole_sequences(text);
    if (!long_line && !text.empty() && text.back() == '\r') text.remove_suffix(1);
    feed(pass, text, index++);
    line.clear();
    long_line = pending = false;
  };
  while (in) {
    in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
    std::size_t got = static_cast<std::size_t>(in.gcount());
    if (got == 0) break;
    std::string_view chunk(buffer.data(), got);
    report.bytes += got;
    if (first_chunk && starts_with(chunk, "\xEF\xBB\xBF")) chunk.remove_prefix(3);
    first_chunk = false;
    while (!chunk.empty()) {
      std::size_t end = chunk.find('\n');
      std::string_view part = chunk.substr(0, end);
      if (!part.empty()) pending = true;
      std::size_t room = kMaxOutlineLine - line.size();
      if (part.size() > room) long_line = true;
      line.append(part.substr(0, std::min(part.size(), room)));
      if (end == std::string_view::npos) break;
      take_line();
      chunk.remove_prefix(end + 1);
    }
  }
  if (pending) take_line();
  finish(pass, index);
  return report;
}

}  // namespace report
