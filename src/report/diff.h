// What changed inside one report between a target's prestats and its
// poststats: configuration sections whose text differs, as a line diff, and
// counters read at both ends (or by the stats stop blocks) as rates over the
// interval between the two snapshots.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "report/json_text.h"
#include "report/report.h"

namespace report {

struct DiffLine {
  char op = ' ';  // ' ' same, '-' only before, '+' only after, '~' unchanged lines left out
  std::string text;
};

// How two lines are compared: a line that tells the time of day (hh:mm:ss)
// is compared with its numbers and its day and month names masked, so a
// clock or an uptime that moved on is no change.
std::string comparison_key(std::string_view line);

// The line diff of `before` and `after` (longest common subsequence on the
// comparison keys), every line kept. Very long unequal middles are shown as
// all removed, then all added.
std::vector<DiffLine> line_diff(const std::vector<std::string_view>& before,
                                const std::vector<std::string_view>& after);

// True when the diff holds a removed or added line.
bool has_changes(const std::vector<DiffLine>& diff);

// The changed lines with `context` unchanged lines around each; every run of
// unchanged lines left out becomes one '~' line saying how many.
std::vector<DiffLine> diff_hunks(const std::vector<DiffLine>& diff, std::size_t context);

struct CounterRate {
  std::string name;       // "volume:vol0:read_ops", or the line with the value's place as '#'
  double before = 0;      // the earlier reading (0 for a stats stop block: it counts from 0)
  double after = 0;       // the later reading
  double rate = 0;        // per second over the interval; NaN when the interval is unknown
  std::string unit;       // "%" or "KB/s" for a value that is a rate or level already
  bool is_level = false;  // shown as read, not divided by the interval
};

// Counters of two readings of the same command (netstat -s, ifstat, ...):
// lines are paired by the line diff of their text with the numbers taken
// out; a number that grew is a counter, listed with its rate over
// `seconds` (NaN rate when seconds <= 0). Lines with a time of day are left
// out.
std::vector<CounterRate> counter_rates(const std::vector<std::string_view>& before,
                                       const std::vector<std::string_view>& after, double seconds);

// The "object:instance:counter:value" lines of a stats stop block: counts
// over the interval divided by `seconds`; values with a unit ("20%",
// "12572KB/s") are kept as read; the stamp counter "time" is left out.
std::vector<CounterRate> stats_stop_rates(const std::vector<std::string_view>& lines,
                                          double seconds);

// One configuration section of a target whose text differs between its
// prestats and its poststats.
struct SectionChange {
  std::size_t before = 0, after = 0;  // indexes into Report::sections
  std::vector<DiffLine> diff;         // hunks with context
};

// Counters of one command read in both phases, or of one stats stop block.
struct CounterChange {
  std::size_t before = 0, after = 0;  // section indexes; before == after for a stats stop block
  double seconds = 0;                 // the interval; 0 when unknown
  std::string interval_source;        // "epochs" or "TIME_DELTA"
  std::vector<CounterRate> counters;
};

struct PhaseChanges {
  std::vector<SectionChange> sections;
  std::vector<CounterChange> counters;
};

// Prestats against poststats of every target and iteration of `report`.
PhaseChanges phase_changes(const Report& report);

// The lines of a section's output.
std::vector<std::string_view> section_lines(const Report& report, const Section& section);

// The page's "Changes" block: prestats against poststats per target. A
// long capture holds thousands of them: the block shows the first
// `max_sections` changed sections and as many commands' counters as fit in
// `max_counters` rows, and says how many it leaves out. With `deferred`, a
// counter list of more than kDeferCounters commands is left closed and
// empty, and its HTML goes to `deferred`, for the page to insert when the
// list is opened.
constexpr std::size_t kDeferCounters = 100;
std::string changes_html(const Report& report, std::size_t max_sections = 1000,
                         std::size_t max_counters = 20000, std::string* deferred = nullptr);

// A number for people: whole when whole, else up to three decimals.
std::string format_number(double value);

}  // namespace report
