// What the page needs to draw every chart of an iteration on one wall-clock
// axis: the time of each sample, the unit of each chart, the bands of the
// iterations' phases and the events to mark on that axis.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "report/clock.h"
#include "report/report.h"
#include "report/summary.h"
#include "report/tables.h"

namespace report {

// The sample times of one file's charts. Charts that share their samples
// share one list of times.
struct FileTimes {
  FileClock clock;
  std::vector<std::vector<std::optional<double>>> lists;  // distinct lists of times
  std::vector<std::size_t> chart_list;                    // per chart: its list in `lists`
  std::vector<std::string> units;                         // per chart: "%", "KB/s", "" ...
};

FileTimes file_times(const Report& report, const SamplerFile& file,
                     const std::vector<long long>& starts);

// A stretch of an iteration: "prestats", "sampling" or "poststats".
struct TimeBand {
  int iteration = 0;
  std::string kind;
  long long from = 0, to = 0;  // seconds since 1970 UTC
};

std::vector<TimeBand> time_bands(const Report& report, const std::vector<long long>& starts);

// A moment worth a mark: a killed, failed or excluded command, or an error
// log line that tells of trouble.
struct TimeEvent {
  long long time = 0;  // seconds since 1970 UTC
  int iteration = 0;
  std::string kind;        // "killed", "failed", "excluded" or "log"
  long long section = -1;  // the section it belongs to, -1 for none
  std::string text;
};

// At most `limit` events, in time order.
std::vector<TimeEvent> time_events(const Report& report, const std::vector<SectionStatus>& states,
                                   std::size_t limit = 2000);

}  // namespace report
