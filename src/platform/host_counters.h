// The host's performance-counter query: the Performance Data Helper on
// Windows, the kernel's own counters under /proc on POSIX. Counters are named
// by their Windows paths on both; the POSIX layer maps each path it knows to
// a /proc source (see counter_source).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace platform::counters {

struct Query;

// A status of the counter layer: a PDH status on Windows, an errno value on
// POSIX. 0 is success.
using Status = long;

// Opens an empty query. Returns nullptr and sets `status` on failure.
Query* open_query(Status& status);

// Adds the counter named by `path`; `counter` identifies it in later reads.
bool add_counter(Query* query, const std::string& path, int& counter, Status& status);

// Lists every counter path that matches a wildcard path, in the host's order.
bool expand_path(const std::string& wildcard, std::vector<std::string>& paths, Status& status);

// Takes one sample of every counter of the query. Rates and percentages are
// read from the last two samples.
bool collect(Query* query, Status& status);

bool read_int32(Query* query, int counter, std::int32_t& value, Status& status);
bool read_double(Query* query, int counter, double& value, Status& status);

void close_query(Query* query);

// True when the host wants the older system counter paths (major version 4
// or below). Returns false and sets `status` when the version is unknown.
bool legacy_system_paths(bool& legacy, Status& status);

// What the legend shows for a counter path or a counter name: the text
// itself on Windows, the /proc source it is read from on POSIX.
std::string counter_source(const std::string& path_or_name);

// A short text for a status ("0x800007d2", "No such file or directory").
std::string describe_status(Status status);

}  // namespace platform::counters
