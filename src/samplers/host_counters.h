// The host's own load during the sampling wait: the system counter set (one
// row per sample) and the logical-disk counter set (a header and one row per
// disk per sample), written as text tables into a file of the scratch folder.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace samplers {

// Runs the "system" or "ldisk" sampler into `output_path`: `sample_count`
// samples, `interval_seconds` apart. Any other set writes nothing. Runs on a
// worker thread: it writes only its file, standard error and the error log.
// `sleep_unless_stopped` returns false when the run asks workers to stop;
// the sampler then ends at once.
void run_host_counters(const std::string& counter_set, const std::string& output_path,
                       int interval_seconds, int sample_count, bool debug,
                       const std::function<bool(int ms)>& sleep_unless_stopped);

// ---------------------------------------------------------------- system set

constexpr int kSystemColumns = 11;
using SystemValues = std::array<std::int32_t, kSystemColumns>;

struct SystemColumn {
  const char* title;
  const char* path;         // Windows 2000 and later
  const char* legacy_path;  // Windows NT 4 and before
};

const std::array<SystemColumn, kSystemColumns>& system_columns();

// "<title> \t== <source>".
std::string legend_line(const std::string& title, const std::string& source);

// A tab before every title, each left-aligned in 7 characters.
std::string system_header();

// "<seconds> s", then a tab and a 7-wide value per column; the byte rates
// in kilobytes.
std::string system_row(int seconds, const SystemValues& values);

// ---------------------------------------------------------------- logical disks

constexpr int kDiskColumns = 18;
using DiskValues = std::array<double, kDiskColumns>;

struct DiskColumn {
  const char* counter;  // matched as part of an expanded counter path
  const char* title;
};

const std::array<DiskColumn, kDiskColumns>& disk_columns();

// Sixteen blanks, then every title left-aligned in 8 characters.
std::string disk_header();

// "<instance, 8 wide> <seconds>s", then the values in their column's form.
std::string disk_row(const std::string& instance, int seconds, const DiskValues& values);

// The instance of a counter path: the text between its last "(" and its
// last ")". False when there is none.
bool path_instance(const std::string& path, std::string& instance);

// The disks named by an expansion, in path order, one per "% Disk Time"
// path. On failure returns false with the message to show.
bool disk_instances(const std::vector<std::string>& paths, std::vector<std::string>& instances,
                    std::string& failure);

// Where an expanded path goes in the table.
struct DiskSlot {
  size_t path = 0;  // index into the expansion
  int instance = 0;
  int column = 0;
};

// Places every path that matches a column at its instance and column;
// paths that match no column are left out. On failure returns false with
// the message to show.
bool disk_slots(const std::vector<std::string>& paths, const std::vector<std::string>& instances,
                std::vector<DiskSlot>& slots, std::string& failure);

}  // namespace samplers
