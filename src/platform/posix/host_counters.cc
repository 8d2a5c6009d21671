// The counter query over the kernel's /proc files: each collect takes a
// snapshot, each read compares the last two.
#include "platform/host_counters.h"

#include <cerrno>
#include <cmath>
#include <cstring>
#include <ctime>
#include <limits>
#include <type_traits>

#include "platform/posix/proc_counters.h"

namespace platform::counters {

struct Query {
  std::vector<proc::Counter> counters;
  proc::Snapshot before, after;
  double before_seconds = 0, after_seconds = 0;
  int samples = 0;
};

namespace {

double monotonic_seconds() {
  timespec now = {};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

bool value_of(Query* query, int counter, double& value, Status& status) {
  if (query == nullptr || counter < 0 || counter >= static_cast<int>(query->counters.size())) {
    status = EINVAL;
    return false;
  }
  // A rate needs two samples.
  if (query->samples < 2) {
    status = EAGAIN;
    return false;
  }
  if (!proc::counter_value(query->counters[counter], query->before, query->after,
                           query->after_seconds - query->before_seconds, value)) {
    status = ENODEV;
    return false;
  }
  status = 0;
  return true;
}

}  // namespace

Query* open_query(Status& status) {
  status = 0;
  return new Query();
}

bool add_counter(Query* query, const std::string& path, int& counter, Status& status) {
  proc::Counter found = proc::find_counter(path);
  if (query == nullptr || found.source == proc::Source::kUnknown) {
    status = ENOENT;
    return false;
  }
  query->counters.push_back(found);
  counter = static_cast<int>(query->counters.size()) - 1;
  status = 0;
  return true;
}

bool expand_path(const std::string& wildcard, std::vector<std::string>& paths, Status& status) {
  if (!proc::is_logical_disk_wildcard(wildcard)) {
    status = EINVAL;
    return false;
  }
  proc::Snapshot snapshot;
  status = proc::read_snapshot("", snapshot);
  if (status != 0) return false;
  paths = proc::expand_logical_disks(snapshot);
  return true;
}

bool collect(Query* query, Status& status) {
  if (query == nullptr) {
    status = EINVAL;
    return false;
  }
  proc::Snapshot snapshot;
  status = proc::read_snapshot("", snapshot);
  if (status != 0) return false;
  query->before = std::move(query->after);
  query->before_seconds = query->after_seconds;
  query->after = std::move(snapshot);
  query->after_seconds = monotonic_seconds();
  ++query->samples;
  return true;
}

bool read_int32(Query* query, int counter, std::int32_t& value, Status& status) {
  double exact = 0;
  if (!value_of(query, counter, exact, status)) return false;
  const double limit = std::numeric_limits<std::int32_t>::max();
  const double rounded = std::round(exact);
  value =
      static_cast<std::int32_t>(rounded > limit ? limit : (rounded < -limit ? -limit : rounded));
  return true;
}

bool read_double(Query* query, int counter, double& value, Status& status) {
  return value_of(query, counter, value, status);
}

void close_query(Query* query) {
  delete query;
}

bool legacy_system_paths(bool& legacy, Status& status) {
  legacy = false;
  status = 0;
  return true;
}

std::string counter_source(const std::string& path_or_name) {
  return proc::describe_source(path_or_name);
}

std::string describe_status(Status status) {
  char buffer[256] = {};
  // The GNU strerror_r returns its text, the XSI one fills the buffer.
  auto text = strerror_r(static_cast<int>(status), buffer, sizeof buffer);
  if constexpr (std::is_same_v<decltype(text), char*>) {
    return text;
  } else {
    return buffer;
  }
}

}  // namespace platform::counters
