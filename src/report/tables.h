// Sampler files printed into the report (sysstat, stats show, lun stats,
// vif stat, statit, the host counters, and any other file of a header line
// and rows of numbers) read back as charts: one chart per column, one
// series per instance.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "report/report.h"

namespace report {

struct Chart {
  std::string title;
  std::string x_label;  // "sample", "seconds" or "report"
  std::vector<double> x;
  std::vector<std::string> names;           // one per series
  std::vector<std::vector<double>> series;  // NaN where a series has no value
  std::string unit;  // as the data writes it after its numbers ("%", "KB/s"), or empty
  // Cells of a row that are not numbers, kept as text (their value is NaN).
  struct Text {
    std::size_t series = 0, sample = 0;
    std::string text;
  };
  std::vector<Text> texts;
};

struct SamplerFile {
  std::size_t section = 0;  // index into Report::sections
  std::string kind;         // "sysstat", "statit", ... or "table"
  std::vector<Chart> charts;
  std::vector<Problem> problems;  // ragged rows, cells that are not numbers
  // The file's own time stamp of each sample (seconds since 1970), -1 where
  // a sample has none: the stats time counter, the statit reports' End or
  // Begin lines. Empty for files that carry no stamps per sample.
  std::vector<long long> stamps;
  // Columns of text only, such as a letter code per row: not charted, but
  // their texts are there for the rules.
  std::vector<Chart> text_columns;
};

// Reads one sampler file. Only time series become charts: configuration
// exports, tables of a single row and columns whose legend says they have no
// source are left out. `first_line` is the 1-based report line of
// lines[0], for the problems.
SamplerFile read_sampler_file(std::string_view file_name,
                              const std::vector<std::string_view>& lines, std::size_t first_line);

// The run collected configuration only (CONFIG_ONLY "TRUE").
bool config_only_report(const Report& report);

// Every file dump of the report that holds at least one chart; none for a
// configuration-only report.
std::vector<SamplerFile> sampler_files(const Report& report);

// Number of points of a chart: x values times series.
std::size_t point_count(const Chart& chart);

}  // namespace report
