// Wall-clock time for every row of a sampler table. How a file's rows are
// placed depends on its kind:
//
//   file                        rows placed at
//   --------------------------  ----------------------------------------------
//   sysstat.out, sysstatM.out,  Begin stamp + SAMPLE_INTERVAL x n (n from 1:
//   lun_stats.out               a row stands at the end of its interval)
//   sysstat_1sec.out,           Begin stamp + 1 s x n
//   vifstat_*.out
//   protocol_stats.out,         the sample's own system:system:time stamp;
//   domain_stats.out            Begin + SAMPLE_INTERVAL x n where it has none
//   statit.out                  each report's End line (else its Begin line)
//   system_perfmon.out,         no Begin stamp: the row's "N s" label counted
//   ldisk_perfmon.out           from the iteration's sampling start (elapsed)
//   any other table             Begin + SAMPLE_INTERVAL x n, else elapsed
//
// Rows without a Begin stamp are placed on elapsed time and marked so: from
// the iteration's sampling start (the last epoch of its prestats, else the
// iteration's begin) when the report has one, else from 0 ("unanchored").
// A stamp that goes backwards or repeats leaves its row unplaced; a stamp
// that jumps is kept and told as a problem.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "report/report.h"
#include "report/tables.h"

namespace report {

enum class ClockSource {
  kStamps,         // the file's own stamp per sample
  kBeginInterval,  // the Begin stamp plus the interval per row
  kElapsed,        // seconds since the sampler started
};

const char* clock_source_name(ClockSource source);

struct FileClock {
  ClockSource source = ClockSource::kElapsed;
  bool anchored = false;   // times are seconds since 1970 UTC; else since the sampler's start
  long long origin = 0;    // the Begin stamp, the elapsed anchor, or 0
  long long interval = 1;  // seconds per row
  std::vector<long long> stamps;  // own stamps per sample, -1 where none
  long long end_stamp = -1;       // the file's last Begin/End stamp, for a check
  std::size_t line = 0;           // the file's marker line, for the problems
};

// Per iteration (index = number), where its samplers started; -1 unknown.
std::vector<long long> sampling_starts(const Report& report);

// How the rows of `file` (read from `section`) are placed.
FileClock file_clock(const Report& report, const Section& section, const SamplerFile& file,
                     const std::vector<long long>& starts);

struct Placement {
  std::vector<std::optional<double>> times;  // per x value of the chart; nullopt: unplaced
  std::vector<Problem> problems;             // stamps backwards, jumping, or off the rows
};

// The time of each sample of `chart`, strictly increasing where placed.
Placement place_rows(const FileClock& clock, const Chart& chart);

// "2026-12-09T02:45:56Z"; fractions of a second with three digits.
std::string iso_time(double seconds);

}  // namespace report
