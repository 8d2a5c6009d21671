#include "samplers/host_counters.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <limits>

#include "core/messages.h"
#include "exec/temp_dir.h"
#include "platform/host_counters.h"

namespace samplers {

namespace counters = platform::counters;

namespace {

constexpr size_t kMaxDiskPaths = 500;
constexpr size_t kMaxDiskInstances = 100;
constexpr char kTooManyDisks[] = "Perfmon: Too many logical disks\n";
constexpr char kDiskWildcard[] = "\\LogicalDisk(*/*#*)\\*";

const std::array<SystemColumn, kSystemColumns> kSystem = {{
    {"   %usr", "\\Processor(_Total)\\% User Time", "\\System\\% Total User Time"},
    {"   %sys", "\\Processor(_Total)\\% Privileged Time", "\\System\\% Total Privileged Time"},
    {"   %cpu", "\\Processor(_Total)\\% Processor Time", "\\System\\% Total Processor Time"},
    {" intr/s", "\\Processor(_Total)\\Interrupts/sec", "\\System\\Total Interrupts/sec"},
    {"csw/s", "\\System\\Context Switches/sec", "\\System\\Context Switches/sec"},
    {"FRops/s", "\\System\\File Read Operations/sec", "\\System\\File Read Operations/sec"},
    {"FWops/s", "\\System\\File Write Operations/sec", "\\System\\File Write Operations/sec"},
    {"FCops/s", "\\System\\File Control Operations/sec", "\\System\\File Control Operations/sec"},
    {"FR kb/s", "\\System\\File Read Bytes/sec", "\\System\\File Read Bytes/sec"},
    {"FW kb/s", "\\System\\File Write Bytes/sec", "\\System\\File Write Bytes/sec"},
    {"FC kb/s", "\\System\\File Control Bytes/sec", "\\System\\File Control Bytes/sec"},
}};
// The byte rates, shown in kilobytes.
constexpr int kFirstByteColumn = 8;

const std::array<DiskColumn, kDiskColumns> kDisk = {{
    {"% Disk Time", "%DT"},
    {"% Disk Read Time", "%DRT"},
    {"% Disk Write Time", "%DWT"},
    {"Avg. Disk Queue Length", "aQL"},
    {"Avg. Disk Read Queue Length", "aRQL"},
    {"Avg. Disk Write Queue Length", "aWQL"},
    {"Avg. Disk sec/Transfer", "aS/x"},
    {"Avg. Disk sec/Read", "aS/Rd"},
    {"Avg. Disk sec/Write", "aS/Wr"},
    {"Disk Transfers/sec", "xfr/s"},
    {"Disk Reads/sec", "r/s"},
    {"Disk Writes/sec", "w/s"},
    {"Disk Bytes/sec", "KB/s"},
    {"Disk Read Bytes/sec", "rKB/s"},
    {"Disk Write Bytes/sec", "wKB/s"},
    {"Avg. Disk Bytes/Transfer", "aKB/x"},
    {"Avg. Disk Bytes/Read", "aKB/r"},
    {"Avg. Disk Bytes/Write", "aKB/w"},
}};

bool contains(const std::string& text, const char* part) {
  return text.find(part) != std::string::npos;
}

bool is_kilobyte_title(const std::string& title) {
  for (const char* kb : {"KB/s", "rKB/s", "wKB/s", "aKB/x", "aKB/r", "aKB/w"}) {
    if (title == kb) return true;
  }
  return false;
}

int truncate_to_int(double value) {
  const double limit = std::numeric_limits<int>::max();
  if (!(value == value)) return 0;  // not a number
  if (value > limit) return std::numeric_limits<int>::max();
  if (value < -limit) return -std::numeric_limits<int>::max();
  return static_cast<int>(value);
}

// The sampler's file. Every line is appended and checked; the first failure
// is said once and ends the sampler.
struct OutputFile {
  std::string path;
  bool failed = false;
};

bool write_line(OutputFile& file, const std::string& line) {
  if (file.failed) return false;
  std::FILE* out = std::fopen(file.path.c_str(), "a");
  bool written = out != nullptr && std::fputs((line + "\n").c_str(), out) >= 0;
  int error = errno;
  if (out != nullptr && std::fclose(out) != 0 && written) {
    written = false;
    error = errno;
  }
  if (written) return true;
  file.failed = true;
  const std::string message = "ERROR: Unable to write " + file.path + ": " + std::strerror(error);
  std::fputs((message + "\n").c_str(), stderr);
  exec::append_error_log(message);
  return false;
}

// Diagnostics a sampler owes the report: a worker never writes the report
// itself, so they go into the sampler's own file, which poststats prints in
// its place.
void note_in_file(OutputFile& file, const std::string& message, bool debug) {
  write_line(file, message);
  if (debug) std::fputs(("DEBUG: " + message + "\n").c_str(), stderr);
}

void say(const std::string& text) {
  std::fputs(text.c_str(), stderr);
}

// Sleeps until `pass` intervals after `start`, so that collection time does
// not add up over the passes.
bool wait_for_pass(std::chrono::steady_clock::time_point start, int pass, int interval_seconds,
                   const std::function<bool(int ms)>& sleep_unless_stopped) {
  const auto due = start + std::chrono::seconds(static_cast<long long>(pass) * interval_seconds);
  const auto left =
      std::chrono::duration_cast<std::chrono::milliseconds>(due - std::chrono::steady_clock::now())
          .count();
  return sleep_unless_stopped(left > 0 ? static_cast<int>(left) : 0);
}

void sample_system(OutputFile& file, int interval_seconds, int sample_count, bool debug,
                   const std::function<bool(int ms)>& sleep_unless_stopped) {
  counters::Status status = 0;
  counters::Query* query = counters::open_query(status);
  if (query == nullptr) {
    say("Perfmon: pdhopenquery failed\n");
    return;
  }
  bool legacy = false;
  if (!counters::legacy_system_paths(legacy, status)) {
    say(core::format("Perfmon: Unable to get Windows version %s\n",
                     counters::describe_status(status).c_str()));
    counters::close_query(query);
    return;
  }
  std::array<int, kSystemColumns> handles;
  handles.fill(-1);
  for (int column = 0; column < kSystemColumns; ++column) {
    const char* path = legacy ? kSystem[column].legacy_path : kSystem[column].path;
    if (!counters::add_counter(query, path, handles[column], status)) {
      handles[column] = -1;
      note_in_file(file, core::format("PdhAddCounter returns %#x", static_cast<unsigned>(status)),
                   debug);
      note_in_file(file, core::format("\n\"%s\" is not a valid counter path", path), debug);
    }
  }
  counters::collect(query, status);  // the baseline of the rates

  for (const SystemColumn& column : kSystem) {
    write_line(file, legend_line(column.title, counters::counter_source(column.path)));
  }
  write_line(file, system_header());

  // A column that could not be added, or a pass whose collection failed,
  // shows the last value read (0 before any).
  SystemValues values = {};
  const auto start = std::chrono::steady_clock::now();
  for (int pass = 0; pass < sample_count && !file.failed; ++pass) {
    if (!wait_for_pass(start, pass + 1, interval_seconds, sleep_unless_stopped)) break;
    if (counters::collect(query, status)) {
      for (int column = 0; column < kSystemColumns; ++column) {
        if (handles[column] < 0) continue;
        if (!counters::read_int32(query, handles[column], values[column], status)) {
          const char* path = legacy ? kSystem[column].legacy_path : kSystem[column].path;
          say(core::format("Perfmon: %s\nPerfmon: Win error: Unable to format pdh: %s\n", path,
                           counters::describe_status(status).c_str()));
          counters::close_query(query);
          return;
        }
      }
    }
    write_line(file, system_row(pass * interval_seconds, values));
  }
  counters::close_query(query);
}

// Adds every placed path; on failure says why and returns false.
bool add_disk_counters(counters::Query* query, const std::vector<std::string>& paths,
                       const std::vector<DiskSlot>& slots,
                       std::vector<std::array<int, kDiskColumns>>& handles) {
  for (const DiskSlot& slot : slots) {
    counters::Status status = 0;
    int handle = -1;
    if (!counters::add_counter(query, paths[slot.path], handle, status)) {
      say(core::format("Perfmon: PdhAddCounter returns %#x\n", static_cast<unsigned>(status)));
      say(core::format("Perfmon: \"%s\" is not a valid counter path\n", paths[slot.path].c_str()));
      return false;
    }
    handles[slot.instance][slot.column] = handle;
  }
  return true;
}

void sample_disks(counters::Query* query, OutputFile& file, int interval_seconds, int sample_count,
                  bool debug, const std::function<bool(int ms)>& sleep_unless_stopped) {
  counters::Status status = 0;
  std::vector<std::string> paths;
  if (!counters::expand_path(kDiskWildcard, paths, status)) {
    say(core::format("Perfmon: Unable to expand %s: %s\n", kDiskWildcard,
                     counters::describe_status(status).c_str()));
    return;
  }
  std::vector<std::string> instances;
  std::vector<DiskSlot> slots;
  std::string failure;
  if (!disk_instances(paths, instances, failure)) {
    say(failure);
    return;
  }
  if (!disk_slots(paths, instances, slots, failure)) {
    std::string message = failure;
    while (!message.empty() && message.back() == '\n') message.pop_back();
    note_in_file(file, message, debug);
    return;
  }
  std::vector<std::array<int, kDiskColumns>> handles(instances.size());
  for (auto& row : handles) row.fill(-1);
  if (!add_disk_counters(query, paths, slots, handles)) return;
  counters::collect(query, status);  // the baseline of the rates

  for (const DiskColumn& column : kDisk) {
    write_line(file, legend_line(column.title, counters::counter_source(column.counter)));
  }
  std::vector<DiskValues> values(instances.size(), DiskValues{});
  const auto start = std::chrono::steady_clock::now();
  for (int pass = 0; pass < sample_count && !file.failed; ++pass) {
    write_line(file, disk_header());
    if (!wait_for_pass(start, pass + 1, interval_seconds, sleep_unless_stopped)) break;
    // A failed collection repeats the last values; a counter that cannot be
    // read shows 0.
    if (counters::collect(query, status)) {
      for (size_t disk = 0; disk < instances.size(); ++disk) {
        for (int column = 0; column < kDiskColumns; ++column) {
          double& value = values[disk][column];
          const int handle = handles[disk][column];
          if (handle < 0 || !counters::read_double(query, handle, value, status)) value = 0;
        }
      }
    }
    for (size_t disk = 0; disk < instances.size(); ++disk) {
      write_line(file, disk_row(instances[disk], pass * interval_seconds, values[disk]));
    }
  }
}

void sample_logical_disks(OutputFile& file, int interval_seconds, int sample_count, bool debug,
                          const std::function<bool(int ms)>& sleep_unless_stopped) {
  counters::Status status = 0;
  counters::Query* query = counters::open_query(status);
  if (query == nullptr) {
    say("Perfmon: pdhopenquery failed\n");
    return;
  }
  sample_disks(query, file, interval_seconds, sample_count, debug, sleep_unless_stopped);
  counters::close_query(query);
}

}  // namespace

void run_host_counters(const std::string& counter_set, const std::string& output_path,
                       int interval_seconds, int sample_count, bool debug,
                       const std::function<bool(int ms)>& sleep_unless_stopped) {
  OutputFile file{output_path};
  const int interval = interval_seconds > 0 ? interval_seconds : 0;
  if (counter_set == "system") {
    sample_system(file, interval, sample_count, debug, sleep_unless_stopped);
  } else if (counter_set == "ldisk") {
    sample_logical_disks(file, interval, sample_count, debug, sleep_unless_stopped);
  }
}

const std::array<SystemColumn, kSystemColumns>& system_columns() {
  return kSystem;
}

const std::array<DiskColumn, kDiskColumns>& disk_columns() {
  return kDisk;
}

std::string legend_line(const std::string& title, const std::string& source) {
  return title + " \t== " + source;
}

std::string system_header() {
  std::string header;
  for (const SystemColumn& column : kSystem) header += core::format("\t%-7s", column.title);
  return header;
}

std::string system_row(int seconds, const SystemValues& values) {
  std::string row = core::format("%d s", seconds);
  for (int column = 0; column < kSystemColumns; ++column) {
    const std::int32_t value = column >= kFirstByteColumn ? values[column] / 1024 : values[column];
    row += core::format("\t%7d", static_cast<int>(value));
  }
  return row;
}

std::string disk_header() {
  std::string header(16, ' ');
  for (const DiskColumn& column : kDisk) header += core::format("%-8s", column.title);
  return header;
}

std::string disk_row(const std::string& instance, int seconds, const DiskValues& values) {
  std::string row = core::format("%8s %ds", instance.c_str(), seconds);
  for (int column = 0; column < kDiskColumns; ++column) {
    const DiskColumn& spec = kDisk[column];
    double value = values[column];
    if (is_kilobyte_title(spec.title)) value *= 1.0 / 1024;
    if (contains(spec.counter, "Disk sec")) {
      row += core::format("%8.4f", value);
    } else if (contains(spec.counter, "Queue")) {
      row += core::format("%8.1f", value);
    } else {
      row += core::format("%8d", truncate_to_int(value));
    }
  }
  return row;
}

bool path_instance(const std::string& path, std::string& instance) {
  const size_t open = path.rfind('(');
  const size_t close = path.rfind(')');
  if (open == std::string::npos || close == std::string::npos || close < open) return false;
  instance = path.substr(open + 1, close - open - 1);
  return true;
}

bool disk_instances(const std::vector<std::string>& paths, std::vector<std::string>& instances,
                    std::string& failure) {
  instances.clear();
  if (paths.size() > kMaxDiskPaths) {
    failure = kTooManyDisks;
    return false;
  }
  for (const std::string& path : paths) {
    if (!contains(path, "% Disk Time")) continue;
    std::string name;
    if (!path_instance(path, name)) {
      failure = "Perfmon: ldisk instance name not found: " + path + "\n";
      return false;
    }
    if (instances.size() == kMaxDiskInstances) {
      failure = kTooManyDisks;
      return false;
    }
    instances.push_back(name);
  }
  return true;
}

bool disk_slots(const std::vector<std::string>& paths, const std::vector<std::string>& instances,
                std::vector<DiskSlot>& slots, std::string& failure) {
  slots.clear();
  for (size_t index = 0; index < paths.size(); ++index) {
    const std::string& path = paths[index];
    int column = 0;
    while (column < kDiskColumns && !contains(path, kDisk[column].counter)) ++column;
    if (column == kDiskColumns) continue;
    // The instance is matched whole: "sda" must not take the counters of
    // "sda1", nor "HarddiskVolume1" those of "HarddiskVolume10".
    std::string name;
    int instance = -1;
    if (path_instance(path, name)) {
      for (size_t i = 0; i < instances.size() && instance < 0; ++i) {
        if (instances[i] == name) instance = static_cast<int>(i);
      }
    }
    if (instance < 0) {
      failure = "Perfmon: Failed to find instance for " + path + "\n";
      return false;
    }
    slots.push_back({index, instance, column});
  }
  return true;
}

}  // namespace samplers
