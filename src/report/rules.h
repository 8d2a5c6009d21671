// The verdict's catalogues, kept as data: which sampler columns are the key
// figures of a target, and the rules that colour them and raise findings
// (column, condition, duration, severity, text). Also the arithmetic the
// rules need on one placed series: statistics and sustained windows.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "report/statistics.h"

namespace report {

enum class TargetKind { kController, kHost };

// A key column of the verdict: where its values come from, per kind of
// target. Several charts of one file are combined row by row.
enum class Combine { kFirst, kSum, kMax };

struct KeyColumn {
  const char* label;  // the verdict's column: "CPU", "Disk_util", ...
  const char* unit;   // "%", "KB/s", "ops/s", "ms"
  TargetKind kind;
  const char* files;   // file names, the first one a target has wins: "a|b"
  const char* charts;  // chart titles in that file: "NFS|CIFS"
  Combine combine;
  bool shown;  // a column of the verdict table (else only rules read it)
};

const std::vector<KeyColumn>& key_columns();

// The unit of a key column's label ("%", "KB/s"), empty where it has none.
std::string key_column_unit(const std::string& label);

// The verdict table's columns in order, each label once.
std::vector<std::string> shown_labels();

enum class Condition {
  kAtLeast,      // value >= threshold
  kBelow,        // value < threshold
  kTextIn,       // the cell's text starts with one of `letters`
  kStatus,       // a section whose status is named by `column`
  kUnreachable,  // a named controller whose remote shell failed at set-up
};

enum class Severity { kCritical, kWarning, kNotice };

const char* severity_name(Severity severity);  // "critical", "warning", "notice"

struct Rule {
  const char* id;  // short name, stable: "controller-cpu"
  TargetKind scope;
  const char* column;  // a key column label, or a status name for kStatus
  Condition condition;
  double threshold;     // kAtLeast, kBelow
  const char* letters;  // kTextIn
  double seconds;       // the condition must hold this long; 0: one sample
  Severity severity;
  // Only samples where this other column is at least `guard_value` count
  // (empty: all samples), so a floor is not reported on an idle target.
  const char* guard_column;
  double guard_value;
  const char* text;
};

// The rules, in the order their findings of equal severity are listed.
const std::vector<Rule>& rules();

// One column of one sampler file, its rows on the clock.
struct Series {
  std::size_t section = 0;         // index of the file's section
  std::vector<double> times;       // seconds per row; NaN where a row is unplaced
  std::vector<double> values;      // NaN where a row has no number
  std::vector<std::string> texts;  // a row's cell text where it is no number (may be empty)
  std::vector<std::size_t> lines;  // 1-based report line per row, 0 unknown
  double interval = 1;             // seconds one row stands for (it ends at its time)
  bool anchored = true;            // times are seconds since 1970
};

// A run of consecutive rows for which a rule's condition holds.
struct Window {
  std::size_t first = 0, last = 0;  // row indexes, inclusive
  double from = 0, to = 0;          // the time the rows cover: [first's start, last's end]
  double worst = 0;                 // the highest (kBelow: lowest) value in it
};

// The windows of `series` where `rule` holds for at least its seconds. A
// row that is unplaced, has no value, or follows a gap of more than two
// intervals ends a run. `guard`, when given, is a series of the same rows.
std::vector<Window> sustained(const Rule& rule, const Series& series, const Series* guard);

// Where a value stands against the rules of its column: 2 past a rule's
// threshold, 1 near it (within a fifth), 0 otherwise.
int heat(TargetKind kind, const std::string& label, double value);

}  // namespace report
