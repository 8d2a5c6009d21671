// What the reader finds in a report: the header block, the iterations, the
// BEGIN/END blocks of each phase and target, one entry per section, the
// slow-command table of the error log, and where reading stopped.
#pragma once

#include <cstddef>
#include <functional>
#include <istream>
#include <string>
#include <string_view>
#include <vector>

#include "report/text.h"

namespace report {

struct Setting {
  std::string key;    // "FILER_TARGETS"
  bool set = false;   // "set," rather than "default,"
  std::string value;  // without its quotes
};

struct Header {
  bool present = false;
  std::string version;  // "7.38"
  std::vector<Setting> settings;
  std::string host_name;
  std::string host_os;
  std::string command_line;
  long long samples = 0;
  long long sample_interval = 0;
  std::size_t first_line = 0;  // 1-based
  std::size_t last_line = 0;
};

struct Iteration {
  int number = 0;
  std::string begin_stamp, end_stamp;
  long long begin_epoch = -1, end_epoch = -1;
  std::size_t begin_line = 0, end_line = 0;  // 0: marker missing
  int pretend_sleep_minutes = -1;            // the "Sleep: N" line of -x
};

// A BEGIN/END pair of one phase and target ("BEGIN PRESTATS" ... sim1).
struct Block {
  int iteration = 1;
  std::string phase;   // "PRESTATS" or "POSTSTATS"
  std::string target;  // controller, "ctl:[VZ]:vzone" or the host
  std::size_t begin_line = 0, end_line = 0;
};

enum class SectionKind {
  kCommand,      // a foreground command: marker, output, EXE-TIME, epoch
  kFileDump,     // a sampler or export file printed in poststats
  kStatsPreset,  // one object of the all-objects stats report
  kDateHeader,   // the PERF <host> PRESTATS/POSTSTATS date line
  kErrorLog,     // the error log copied in at the end
  kPretend,      // a "Host: " or "Filer: " line of pretend mode
  kLoose,        // text outside any section, kept so nothing is dropped
};

const char* kind_name(SectionKind kind);

struct Section {
  SectionKind kind = SectionKind::kCommand;
  int iteration = 1;
  std::string phase;     // "PRESTATS", "POSTSTATS", or empty
  std::string target;    // whose section it is
  std::string category;  // "CONFIG" or "PERF", empty when the title has none
  std::string title;     // the marker's title, "CONFIG sim1 PRESTATS"
  std::string command;   // the marker's tail: command or file name
  std::size_t line = 0;  // 1-based line of the marker (of the text itself for pretend and loose)
  std::size_t body_begin = 0, body_end = 0;  // 0-based lines [begin, end) of the output
  int seconds = -1;                          // from EXE-TIME or TIME_DELTA; -1 unknown
  long long end_epoch = -1;                  // the KESTREL_EPOCH after EXE-TIME
  bool closed = false;                       // its closing lines were read
  bool excluded = false;
  bool killed = false;
  bool empty = false;
  std::string time_stamp;      // TIME: line
  std::string begin_stamp;     // first "Begin:" line of a sampler file
  std::string end_stamp;       // last "Begin:" or "End:" line of it
  long long start_epoch = -1;  // best known start, for the timeline
};

struct SlowCommand {
  std::string target;
  int iteration = 0;
  int seconds = 0;
  std::string command;
};

// Standard error text that the error log holds after a command's invocation
// line: the command failed.
struct CommandError {
  std::size_t line = 0;    // 1-based line of the invocation in the report
  std::string invocation;  // the logged command line, its "2>>" redirection left out
  int occurrence = 0;      // how many identical invocations came before it
  std::string message;     // the error lines, joined by newlines
};

struct Problem {
  std::size_t line = 0;  // 1-based, 0 for the whole file
  std::string message;
  bool structural = false;  // the markers do not add up: the report is damaged
};

struct Report {
  std::string data;             // the whole file
  std::vector<LineSpan> lines;  // empty when read as an outline
  std::size_t line_count = 0;
  std::size_t section_count = 0;    // also those handed to a SectionSink
  std::size_t iteration_count = 0;  // also those a SectionSink reader let go
  unsigned long long bytes = 0;     // of the file, as read
  Header header;
  std::vector<Iteration> iterations;
  std::vector<Block> blocks;
  std::vector<Section> sections;
  std::vector<SlowCommand> slow_commands;
  bool slow_report_seen = false;
  std::vector<CommandError> command_errors;
  long long total_running_seconds = -1;
  bool complete = false;  // the closing execution statistics were read
  bool looks_like_report = false;
  std::size_t stop_line = 0;  // where reading ended early (1-based), 0 when it did not
  std::string stop_reason;
  std::vector<Problem> problems;
  std::size_t structure_problems = 0;  // all of them, also those not listed

  bool damaged() const { return structure_problems > 0; }

  std::string_view line(std::size_t index) const { return line_text(data, lines[index]); }
};

// Reads a whole report held in `data`. Never fails: what cannot be read is
// described in `problems`, `stop_line` and `stop_reason`.
Report parse_report(std::string data);

// Takes each section once it is read to its end, in order; `index` counts
// from 0 over all sections.
using SectionSink = std::function<void(const Section& section, std::size_t index)>;

// Reads a report from `in` line by line and keeps everything but the text:
// `data` and `lines` stay empty, so section_text() gives nothing. With a
// sink, the sections go to it and only the last one stays in `sections`,
// so memory does not grow with the report.
Report read_report_outline(std::istream& in, const SectionSink& sink = {});

// The output lines of a section, its closing lines left out.
std::string_view section_text(const Report& report, const Section& section);

}  // namespace report
