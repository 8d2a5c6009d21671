#include "report/clock.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "report/text.h"

namespace report {

namespace {

// Files whose rows come one per fixed interval after the Begin stamp.
struct IntervalShape {
  const char* prefix;  // of the file name
  bool one_second;     // sampled every second whatever SAMPLE_INTERVAL says
};

const IntervalShape kIntervalShapes[] = {
    {"sysstat_1sec", true}, {"sysstatM", false}, {"sysstat", false},
    {"lun_stats", false},   {"vifstat_", true},
};

// A gap between own stamps this many intervals wide is told as a jump.
constexpr long long kJumpIntervals = 3;

}  // namespace

const char* clock_source_name(ClockSource source) {
  switch (source) {
    case ClockSource::kStamps:
      return "stamps";
    case ClockSource::kBeginInterval:
      return "begin+interval";
    case ClockSource::kElapsed:
      return "elapsed";
  }
  return "elapsed";
}

std::vector<long long> sampling_starts(const Report& report) {
  std::vector<long long> starts;
  auto at = [&](int iteration) -> long long& {
    std::size_t index = iteration < 0 ? 0 : static_cast<std::size_t>(iteration);
    if (starts.size() <= index) starts.resize(index + 1, -1);
    return starts[index];
  };
  for (const Section& s : report.sections) {
    if (s.kind != SectionKind::kCommand || s.phase != "PRESTATS" || s.end_epoch < 0) continue;
    long long& start = at(s.iteration);
    start = std::max(start, s.end_epoch);
  }
  for (const Iteration& it : report.iterations)
    if (at(it.number) < 0 && it.begin_epoch >= 0) at(it.number) = it.begin_epoch;
  return starts;
}

FileClock file_clock(const Report& report, const Section& section, const SamplerFile& file,
                     const std::vector<long long>& starts) {
  FileClock clock;
  clock.line = section.line;
  long long interval = report.header.sample_interval > 0 ? report.header.sample_interval : 1;
  for (const IntervalShape& shape : kIntervalShapes) {
    if (starts_with(section.command, shape.prefix)) {
      if (shape.one_second) interval = 1;
      break;
    }
  }
  clock.interval = interval;
  auto begin = parse_stamp(section.begin_stamp);
  if (section.end_stamp != section.begin_stamp)
    clock.end_stamp = parse_stamp(section.end_stamp).value_or(-1);
  bool own = false;
  for (long long stamp : file.stamps) own = own || stamp >= 0;
  if (own) {
    clock.source = ClockSource::kStamps;
    clock.stamps = file.stamps;
    clock.anchored = true;
    clock.origin = begin.value_or(-1);
  } else if (begin) {
    clock.source = ClockSource::kBeginInterval;
    clock.anchored = true;
    clock.origin = *begin;
  } else {
    clock.source = ClockSource::kElapsed;
    std::size_t it = section.iteration < 0 ? 0 : static_cast<std::size_t>(section.iteration);
    if (it < starts.size() && starts[it] >= 0) {
      clock.anchored = true;
      clock.origin = starts[it];
    }
  }
  return clock;
}

Placement place_rows(const FileClock& clock, const Chart& chart) {
  Placement placement;
  const std::size_t n = chart.x.size();
  placement.times.assign(n, std::nullopt);
  auto problem = [&](std::string message) {
    placement.problems.push_back({clock.line, std::move(message)});
  };
  const bool labelled = chart.x_label == "seconds";
  std::optional<double> last;
  for (std::size_t i = 0; i < n; ++i) {
    std::optional<double> time;
    if (clock.source == ClockSource::kStamps && i < clock.stamps.size() && clock.stamps[i] >= 0) {
      time = static_cast<double>(clock.stamps[i]);
    } else if (clock.source == ClockSource::kStamps && clock.origin < 0) {
      time = std::nullopt;  // no stamp and no Begin to count from
    } else if (labelled && std::isfinite(chart.x[i])) {
      time = static_cast<double>(clock.origin) + chart.x[i];
    } else {
      time = static_cast<double>(clock.origin) +
             static_cast<double>(clock.interval) * static_cast<double>(i + 1);
    }
    if (!time) continue;
    if (last && *time <= *last) {
      problem("sample " + std::to_string(i + 1) + " of " + chart.title +
              ": its time goes backwards or repeats, left unplaced");
      continue;
    }
    if (last && clock.source == ClockSource::kStamps &&
        *time - *last > static_cast<double>(kJumpIntervals * clock.interval)) {
      problem("sample " + std::to_string(i + 1) + " of " + chart.title + ": stamps jump by " +
              std::to_string(static_cast<long long>(*time - *last)) + " s");
    }
    placement.times[i] = time;
    last = time;
  }
  if (clock.source == ClockSource::kBeginInterval && clock.end_stamp >= 0 && last) {
    if (clock.end_stamp < clock.origin) {
      problem("the file's last stamp is before its Begin stamp");
    } else {
      double span = static_cast<double>(clock.end_stamp - clock.origin);
      double rows = *last - static_cast<double>(clock.origin);
      double slack = std::max(2.0 * static_cast<double>(clock.interval), span / 10);
      if (std::fabs(span - rows) > slack) {
        problem(chart.title + ": the rows span " + std::to_string(static_cast<long long>(rows)) +
                " s but the stamps " + std::to_string(static_cast<long long>(span)) + " s");
      }
    }
  }
  return placement;
}

std::string iso_time(double seconds) {
  double whole = std::floor(seconds);
  long long s = static_cast<long long>(whole);
  int millis = static_cast<int>(std::lround((seconds - whole) * 1000));
  if (millis == 1000) {
    ++s;
    millis = 0;
  }
  long long days = s >= 0 ? s / 86400 : (s - 86399) / 86400;
  long long rest = s - days * 86400;
  // Civil date from days since 1970-01-01.
  long long z = days + 719468;
  long long era = (z >= 0 ? z : z - 146096) / 146097;
  long long doe = z - era * 146097;
  long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  long long y = yoe + era * 400;
  long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  long long mp = (5 * doy + 2) / 153;
  long long d = doy - (153 * mp + 2) / 5 + 1;
  long long m = mp < 10 ? mp + 3 : mp - 9;
  if (m <= 2) ++y;
  char out[128];
  if (millis) {
    std::snprintf(out, sizeof out, "%04lld-%02lld-%02lldT%02lld:%02lld:%02lld.%03dZ", y, m, d,
                  rest / 3600, rest / 60 % 60, rest % 60, millis);
  } else {
    std::snprintf(out, sizeof out, "%04lld-%02lld-%02lldT%02lld:%02lld:%02lldZ", y, m, d,
                  rest / 3600, rest / 60 % 60, rest % 60);
  }
  return out;
}

}  // namespace report
