// One report against another (capture against capture): the settings of
// their headers that differ, the configuration sections whose text changed,
// and per target the key columns' statistics side by side with the
// significant shifts marked.
#pragma once

#include <cstddef>
#include <ostream>
#include <string>
#include <vector>

#include "report/diff.h"
#include "report/report.h"

namespace report {

// Statistics of the finite values of a series.
struct ColumnStats {
  std::size_t count = 0;
  double min = 0, mean = 0, p95 = 0, max = 0;
  double deviation = 0;  // sample standard deviation; 0 for fewer than two values
};

// p95 is the nearest-rank percentile: the value at rank ceil(0.95 n) of the
// sorted values.
ColumnStats column_stats(std::vector<double> values);

// A shift is significant when the means differ by at least 20 % of the
// larger one and by more than twice the standard error of their difference
// (two values or more on each side).
bool significant_shift(const ColumnStats& a, const ColumnStats& b);

struct SettingChange {
  std::string name;  // "ITERATIONS", "version", "version of sim1", ...
  std::string a, b;  // "(absent)" where a report has none
};

struct SectionDifference {
  int iteration = 0;
  std::string phase, target, command;
  int occurrence = 0;                  // the n-th section of this command there, from 0
  std::size_t line_a = 0, line_b = 0;  // marker lines; 0 where the report has none
  std::vector<DiffLine> diff;          // hunks; empty when the section is in one report only
};

struct KeyColumnRow {
  std::string target, column, unit;  // the verdict's key column and its unit
  ColumnStats a, b;                  // count 0 where the report has no values
  bool significant = false;
};

struct Comparison {
  std::vector<SettingChange> settings;
  std::vector<SectionDifference> sections;
  std::vector<KeyColumnRow> columns;
  std::size_t shifts = 0;  // rows marked significant
};

// The verdict's key columns' values per target, all iterations together;
// targets in the order their files come, columns in the verdict's order.
struct KeyColumnValues {
  std::string target, column, unit;
  std::vector<double> values;
};
std::vector<KeyColumnValues> key_column_values(const Report& report);

Comparison compare_reports(const Report& a, const Report& b);

void write_comparison_text(const Comparison& comparison, const std::string& name_a,
                           const std::string& name_b, std::ostream& out);
void write_comparison_html(const Comparison& comparison, const std::string& name_a,
                           const std::string& name_b, std::ostream& out);

}  // namespace report
