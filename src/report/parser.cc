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
};

void note(Pass& pass, std::size_t line, std::string message) {
  if (pass.report.problems.size() < kMaxProblems) {
    pass.report.problems.push_back({line, std::move(message)});
  } else {
    ++pass.problem_overflow;
  }
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

bool body_is_empty(const Pass& pass, const Section& s) {
  for (std::size_t i = s.body_begin; i < s.body_end; ++i) {
    std::string_view line = pass.report.line(i);
    if (is_blank(line)) continue;
    if (s.kind == SectionKind::kFileDump &&
        (starts_with(line, "Begin: ") || starts_with(line, "End: ")))
      continue;
    if (starts_with(line, "TIME: ") || starts_with(line, "TIME_DELTA: ")) continue;
    return false;
  }
  return true;
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
    while (s.body_end > s.body_begin && is_blank(pass.report.line(s.body_end - 1))) --s.body_end;
    s.empty = !s.excluded && body_is_empty(pass, s);
    if (s.seconds >= 0 && s.end_epoch >= 0) s.start_epoch = s.end_epoch - s.seconds;
  } else if (pass.open == Open::kErrorLog) {
    Section& s = current(pass);
    s.body_end = next;
    while (s.body_end > s.body_begin && is_blank(pass.report.line(s.body_end - 1))) --s.body_end;
    s.empty = s.body_end == s.body_begin;
  }
  pass.open = Open::kNothing;
  pass.after_exe_time = false;
}

Section& add_section(Pass& pass, SectionKind kind, std::size_t line) {
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
  pass.iteration = title.iteration;
  Iteration it;
  it.number = title.iteration;
  it.begin_stamp = std::string(marker.tail);
  it.begin_epoch = parse_stamp(marker.tail).value_or(-1);
  it.begin_line = line + 1;
  pass.report.iterations.push_back(it);
  pass.expect_epoch_for = 1;
}

Iteration* find_iteration(Pass& pass, int number) {
  for (auto it = pass.report.iterations.rbegin(); it != pass.report.iterations.rend(); ++it)
    if (it->number == number) return &*it;
  return nullptr;
}

void end_iteration(Pass& pass, const Title& title, const Marker& marker, std::size_t line) {
  Iteration* it = find_iteration(pass, title.iteration);
  if (it == nullptr) {
    note(pass, line + 1, "END Iteration " + std::to_string(title.iteration) + " without its BEGIN");
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
    note(pass, line + 1,
         "BEGIN " + std::string(title.phase) + " " + std::string(marker.tail) +
             " while the block of " + pass.block_target + " is still open");
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
  note(pass, line + 1,
       "END " + std::string(title.phase) + " " + std::string(marker.tail) + " without its BEGIN");
  pass.block_phase.clear();
  pass.block_target.clear();
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
    note(pass, line + 1, "a marker with an unknown title: " + s.title);
  }
  pass.section = pass.report.sections.size() - 1;
  pass.open = Open::kSection;
  if (s.category == "CONFIG" && s.phase == "POSTSTATS" && s.command == "ERROR LOG") {
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
  if (!marker.whole) note(pass, line + 1, "a marker line with missing parts");
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
    on_free_line(pass, text, line);
    return;
  }
  const bool first = line == s.body_begin;
  if (s.kind == SectionKind::kDateHeader) {
    if (first && parse_stamp(text)) {
      s.time_stamp = std::string(trim(text));
      s.start_epoch = s.end_epoch = *parse_stamp(text);
      s.body_end = line + 1;
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
  close_open(pass, line);
  pass.open = Open::kStatistics;
  pass.statistics_seen = true;
  pass.loose = SIZE_MAX;
}

void read_line(Pass& pass, std::size_t line) {
  std::string_view text = pass.report.line(line);
  if (pass.open == Open::kErrorLog) {
    if (starts_with(text, kStatisticsLine)) {
      on_statistics(pass, line);
    }
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
  if (starts_with(text, kStatisticsLine)) {
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

// The interrupt handler's line in the error log.
bool was_interrupted(const Report& r) {
  for (const Section& s : r.sections) {
    if (s.kind == SectionKind::kErrorLog &&
        section_text(r, s).find("caught signal; quitting") != std::string_view::npos)
      return true;
  }
  return false;
}

bool config_only(const Report& r) {
  for (const Setting& s : r.header.settings)
    if (s.key == "CONFIG_ONLY") return s.value == "TRUE";
  return false;
}

// Says where and why the report stops short of its normal end.
void explain_end(Pass& pass) {
  Report& r = pass.report;
  const std::size_t last = r.lines.size();
  // A config-only run ends with its error log, without execution statistics.
  if (!r.complete && config_only(r) && !r.sections.empty() &&
      r.sections.back().kind == SectionKind::kErrorLog && !was_interrupted(r)) {
    r.complete = true;
    return;
  }
  if (r.complete) return;
  r.stop_line = last;
  const Section* open = nullptr;
  for (auto it = r.sections.rbegin(); it != r.sections.rend(); ++it) {
    if (it->kind == SectionKind::kLoose || it->kind == SectionKind::kPretend) continue;
    open = &*it;
    break;
  }
  bool error_log = open != nullptr && open->kind == SectionKind::kErrorLog;
  if (pass.statistics_seen) {
    r.stop_reason = "the report ends at line " + std::to_string(last) +
                    " inside the execution statistics, before the total running time";
  } else if (open != nullptr && !open->closed) {
    r.stop_reason = "the report ends at line " + std::to_string(last) + " inside the section " +
                    describe(*open) + ", before its EXE-TIME line: the run was cut short";
  } else if (error_log && was_interrupted(r)) {
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

void check_bytes(Pass& pass) {
  Report& r = pass.report;
  std::size_t bad = 0, first_bad = 0;
  for (std::size_t i = 0; i < r.lines.size(); ++i) {
    std::string_view line = r.line(i);
    bool clean = true;
    for (unsigned char c : line) {
      if (c >= 0x80 || c == 0) {
        clean = is_clean_utf8(line);
        break;
      }
    }
    if (!clean && bad++ == 0) first_bad = i + 1;
  }
  if (bad > 0) {
    note(pass, first_bad,
         std::to_string(bad) + " line(s) hold bytes that are not UTF-8 text; they are shown as " +
             "\xEF\xBF\xBD");
  }
}

}  // namespace

Report parse_report(std::string data) {
  Report report;
  if (data.size() > kMaxReportBytes) {
    data.resize(kMaxReportBytes);
    report.problems.push_back({0, "the file is larger than 4 GB; only its start is read"});
  }
  report.data = std::move(data);
  report.lines = index_lines(report.data);
  Pass pass(report);

  std::size_t first = 0;
  while (first < report.lines.size() && is_blank(report.line(first))) ++first;
  std::size_t next = read_header(report, first);
  for (const Setting& s : report.header.settings)
    if (s.key == "PRETEND") pass.pretend_run = s.value == "TRUE";
  for (std::size_t i = next; i < report.lines.size(); ++i) read_line(pass, i);
  close_open(pass, report.lines.size());

  std::size_t markers = 0;
  for (const Section& s : report.sections)
    if (s.kind != SectionKind::kLoose) ++markers;
  report.looks_like_report =
      report.header.present || markers > 0 || !report.blocks.empty() || !report.iterations.empty();
  if (!report.looks_like_report) return report;

  for (const Section& s : report.sections) {
    if (s.kind == SectionKind::kErrorLog) read_error_log(report, s);
  }
  check_bytes(pass);
  explain_end(pass);
  if (pass.problem_overflow > 0) {
    report.problems.push_back(
        {0, "and " + std::to_string(pass.problem_overflow) + " more problem(s) not listed"});
  }
  return report;
}

}  // namespace report
