#include "platform/posix/proc_counters.h"

#include <cerrno>
#include <cstdio>
#include <set>
#include <sstream>
#include <utility>

namespace platform::proc {

namespace {

struct SourceRow {
  const char* windows;  // full path (system set) or counter name (logical disks)
  Source source;
  const char* legend;
};

constexpr char kNoSource[] = "no Linux source, reads 0";

// The system set, by the Windows paths of the newer list.
const SourceRow kSystemRows[] = {
    {"\\Processor(_Total)\\% User Time", Source::kCpuUser,
     "/proc/stat cpu: user+nice, percent of user+nice+system+idle+iowait+irq+softirq"},
    {"\\Processor(_Total)\\% Privileged Time", Source::kCpuSystem,
     "/proc/stat cpu: system+irq+softirq, percent of the same total"},
    {"\\Processor(_Total)\\% Processor Time", Source::kCpuBusy,
     "/proc/stat cpu: all but idle+iowait, percent of the same total"},
    {"\\Processor(_Total)\\Interrupts/sec", Source::kInterrupts,
     "/proc/stat intr: total per second"},
    {"\\System\\Context Switches/sec", Source::kContextSwitches, "/proc/stat ctxt: per second"},
    {"\\System\\File Read Operations/sec", Source::kMountedReads,
     "/proc/diskstats: reads completed per second, disks of mounted file systems"},
    {"\\System\\File Write Operations/sec", Source::kMountedWrites,
     "/proc/diskstats: writes completed per second, disks of mounted file systems"},
    {"\\System\\File Control Operations/sec", Source::kNone, kNoSource},
    {"\\System\\File Read Bytes/sec", Source::kMountedReadBytes,
     "/proc/diskstats: sectors read x 512 per second, disks of mounted file systems"},
    {"\\System\\File Write Bytes/sec", Source::kMountedWriteBytes,
     "/proc/diskstats: sectors written x 512 per second, disks of mounted file systems"},
    {"\\System\\File Control Bytes/sec", Source::kNone, kNoSource},
};

// The logical-disk set: one instance per disk of a mounted file system. The
// field numbers are those of the kernel's iostats documentation.
const SourceRow kDiskRows[] = {
    {"% Disk Time", Source::kDiskBusyPercent,
     "/proc/diskstats field 10 (time doing I/O), percent of the interval"},
    {"% Disk Read Time", Source::kDiskReadPercent,
     "/proc/diskstats field 4 (time reading), percent of the interval"},
    {"% Disk Write Time", Source::kDiskWritePercent,
     "/proc/diskstats field 8 (time writing), percent of the interval"},
    {"Avg. Disk Queue Length", Source::kDiskQueue,
     "/proc/diskstats field 11 (weighted time doing I/O) / interval"},
    {"Avg. Disk Read Queue Length", Source::kDiskReadQueue,
     "/proc/diskstats field 4 (time reading) / interval"},
    {"Avg. Disk Write Queue Length", Source::kDiskWriteQueue,
     "/proc/diskstats field 8 (time writing) / interval"},
    {"Avg. Disk sec/Transfer", Source::kDiskSecPerTransfer,
     "/proc/diskstats fields 4+8 / fields 1+5, in seconds"},
    {"Avg. Disk sec/Read", Source::kDiskSecPerRead,
     "/proc/diskstats field 4 / field 1, in seconds"},
    {"Avg. Disk sec/Write", Source::kDiskSecPerWrite,
     "/proc/diskstats field 8 / field 5, in seconds"},
    {"Disk Transfers/sec", Source::kDiskTransfers, "/proc/diskstats fields 1+5 per second"},
    {"Disk Reads/sec", Source::kDiskReads, "/proc/diskstats field 1 per second"},
    {"Disk Writes/sec", Source::kDiskWrites, "/proc/diskstats field 5 per second"},
    {"Disk Bytes/sec", Source::kDiskBytes, "/proc/diskstats fields 3+7 x 512 per second"},
    {"Disk Read Bytes/sec", Source::kDiskReadBytes, "/proc/diskstats field 3 x 512 per second"},
    {"Disk Write Bytes/sec", Source::kDiskWriteBytes, "/proc/diskstats field 7 x 512 per second"},
    {"Avg. Disk Bytes/Transfer", Source::kDiskBytesPerTransfer,
     "/proc/diskstats fields 3+7 x 512 / fields 1+5"},
    {"Avg. Disk Bytes/Read", Source::kDiskBytesPerRead, "/proc/diskstats field 3 x 512 / field 1"},
    {"Avg. Disk Bytes/Write", Source::kDiskBytesPerWrite,
     "/proc/diskstats field 7 x 512 / field 5"},
};

constexpr char kDiskPrefix[] = "\\LogicalDisk(";
constexpr double kSectorBytes = 512.0;

// A counter that went backwards (a 32-bit wrap, a disk added again) counts
// as no change rather than as a huge rate.
double delta(std::uint64_t before, std::uint64_t after) {
  return after >= before ? static_cast<double>(after - before) : 0.0;
}

double ratio(double part, double whole) {
  return whole > 0 ? part / whole : 0.0;
}

const DiskStats* find_disk(const Snapshot& snapshot, const std::string& name) {
  for (const DiskStats& disk : snapshot.disks) {
    if (disk.name == name) return &disk;
  }
  return nullptr;
}

bool read_file(const std::string& path, std::string& text, int& error) {
  std::FILE* file = std::fopen(path.c_str(), "r");
  if (file == nullptr) {
    error = errno;
    return false;
  }
  text.clear();
  char buffer[4096];
  size_t got = 0;
  while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, got);
  error = std::ferror(file) ? EIO : 0;
  std::fclose(file);
  return error == 0;
}

bool cpu_value(Source source, const Snapshot& before, const Snapshot& after, double& value) {
  if (!before.has_cpu || !after.has_cpu) return false;
  const CpuTimes& b = before.cpu;
  const CpuTimes& a = after.cpu;
  const double user = delta(b.user, a.user) + delta(b.nice, a.nice);
  const double system =
      delta(b.system, a.system) + delta(b.irq, a.irq) + delta(b.softirq, a.softirq);
  const double idle = delta(b.idle, a.idle) + delta(b.iowait, a.iowait);
  const double total = user + system + idle;
  switch (source) {
    case Source::kCpuUser:
      value = 100.0 * ratio(user, total);
      return true;
    case Source::kCpuSystem:
      value = 100.0 * ratio(system, total);
      return true;
    default:
      value = 100.0 * ratio(user + system, total);
      return true;
  }
}

// Sums a field's change over the disks of mounted file systems that both
// snapshots hold.
template <typename Field>
double mounted_delta(const Snapshot& before, const Snapshot& after, Field field) {
  double sum = 0;
  for (const DiskStats& disk : after.disks) {
    if (!disk.mounted) continue;
    const DiskStats* earlier = find_disk(before, disk.name);
    if (earlier != nullptr) sum += delta(field(*earlier), field(disk));
  }
  return sum;
}

bool disk_value(Source source, const DiskStats& b, const DiskStats& a, double seconds,
                double& value) {
  const double reads = delta(b.reads, a.reads);
  const double writes = delta(b.writes, a.writes);
  const double read_bytes = kSectorBytes * delta(b.read_sectors, a.read_sectors);
  const double write_bytes = kSectorBytes * delta(b.write_sectors, a.write_sectors);
  const double read_ms = delta(b.read_ms, a.read_ms);
  const double write_ms = delta(b.write_ms, a.write_ms);
  const double interval_ms = seconds * 1000.0;
  switch (source) {
    case Source::kDiskBusyPercent:
      value = 100.0 * ratio(delta(b.io_ms, a.io_ms), interval_ms);
      break;
    case Source::kDiskReadPercent:
      value = 100.0 * ratio(read_ms, interval_ms);
      break;
    case Source::kDiskWritePercent:
      value = 100.0 * ratio(write_ms, interval_ms);
      break;
    case Source::kDiskQueue:
      value = ratio(delta(b.weighted_io_ms, a.weighted_io_ms), interval_ms);
      break;
    case Source::kDiskReadQueue:
      value = ratio(read_ms, interval_ms);
      break;
    case Source::kDiskWriteQueue:
      value = ratio(write_ms, interval_ms);
      break;
    case Source::kDiskSecPerTransfer:
      value = ratio(read_ms + write_ms, reads + writes) / 1000.0;
      break;
    case Source::kDiskSecPerRead:
      value = ratio(read_ms, reads) / 1000.0;
      break;
    case Source::kDiskSecPerWrite:
      value = ratio(write_ms, writes) / 1000.0;
      break;
    case Source::kDiskTransfers:
      value = ratio(reads + writes, seconds);
      break;
    case Source::kDiskReads:
      value = ratio(reads, seconds);
      break;
    case Source::kDiskWrites:
      value = ratio(writes, seconds);
      break;
    case Source::kDiskBytes:
      value = ratio(read_bytes + write_bytes, seconds);
      break;
    case Source::kDiskReadBytes:
      value = ratio(read_bytes, seconds);
      break;
    case Source::kDiskWriteBytes:
      value = ratio(write_bytes, seconds);
      break;
    case Source::kDiskBytesPerTransfer:
      value = ratio(read_bytes + write_bytes, reads + writes);
      break;
    case Source::kDiskBytesPerRead:
      value = ratio(read_bytes, reads);
      break;
    case Source::kDiskBytesPerWrite:
      value = ratio(write_bytes, writes);
      break;
    default:
      return false;
  }
  return true;
}

}  // namespace

void parse_stat(const std::string& text, Snapshot& snapshot) {
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream fields(line);
    std::string key;
    fields >> key;
    if (key == "cpu") {
      CpuTimes& cpu = snapshot.cpu;
      snapshot.has_cpu = static_cast<bool>(fields >> cpu.user >> cpu.nice >> cpu.system >>
                                           cpu.idle >> cpu.iowait >> cpu.irq >> cpu.softirq);
    } else if (key == "intr") {
      snapshot.has_interrupts = static_cast<bool>(fields >> snapshot.interrupts);
    } else if (key == "ctxt") {
      snapshot.has_context_switches = static_cast<bool>(fields >> snapshot.context_switches);
    }
  }
}

void parse_diskstats(const std::string& text, Snapshot& snapshot) {
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream fields(line);
    DiskStats disk;
    std::uint64_t reads_merged = 0, writes_merged = 0, in_flight = 0;
    // Old kernels print partitions with four fields only; they are skipped.
    if (fields >> disk.major >> disk.minor >> disk.name >> disk.reads >> reads_merged >>
        disk.read_sectors >> disk.read_ms >> disk.writes >> writes_merged >> disk.write_sectors >>
        disk.write_ms >> in_flight >> disk.io_ms >> disk.weighted_io_ms) {
      snapshot.disks.push_back(disk);
    }
  }
}

void mark_mounted(const std::string& mountinfo, Snapshot& snapshot) {
  std::set<std::pair<unsigned, unsigned>> devices;
  std::istringstream lines(mountinfo);
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream fields(line);
    std::string mount_id, parent_id, device;
    if (!(fields >> mount_id >> parent_id >> device)) continue;
    unsigned major = 0, minor = 0;
    if (std::sscanf(device.c_str(), "%u:%u", &major, &minor) == 2) devices.insert({major, minor});
  }
  for (DiskStats& disk : snapshot.disks) {
    disk.mounted = devices.count({disk.major, disk.minor}) > 0;
  }
}

int read_snapshot(const std::string& root, Snapshot& snapshot) {
  snapshot = Snapshot();
  std::string text;
  int error = 0;
  if (!read_file(root + "/proc/stat", text, error)) return error;
  parse_stat(text, snapshot);
  // Without diskstats (some containers) or mountinfo there are no disks.
  if (read_file(root + "/proc/diskstats", text, error)) parse_diskstats(text, snapshot);
  if (read_file(root + "/proc/self/mountinfo", text, error)) mark_mounted(text, snapshot);
  return 0;
}

Counter find_counter(const std::string& path) {
  Counter counter;
  for (const SourceRow& row : kSystemRows) {
    if (path == row.windows) counter.source = row.source;
  }
  if (counter.source != Source::kUnknown) return counter;
  const std::string prefix = kDiskPrefix;
  const size_t close = path.rfind(")\\");
  if (path.compare(0, prefix.size(), prefix) != 0 || close == std::string::npos ||
      close < prefix.size()) {
    return counter;
  }
  const std::string name = path.substr(close + 2);
  for (const SourceRow& row : kDiskRows) {
    if (name == row.windows) {
      counter.source = row.source;
      counter.instance = path.substr(prefix.size(), close - prefix.size());
    }
  }
  return counter;
}

std::string describe_source(const std::string& path_or_name) {
  for (const SourceRow& row : kSystemRows) {
    if (path_or_name == row.windows) return row.legend;
  }
  const size_t slash = path_or_name.rfind('\\');
  const std::string name =
      slash == std::string::npos ? path_or_name : path_or_name.substr(slash + 1);
  for (const SourceRow& row : kDiskRows) {
    if (name == row.windows) return row.legend;
  }
  return kNoSource;
}

bool is_logical_disk_wildcard(const std::string& wildcard) {
  return wildcard == "\\LogicalDisk(*/*#*)\\*" || wildcard == "\\LogicalDisk(*)\\*";
}

std::vector<std::string> expand_logical_disks(const Snapshot& snapshot) {
  std::vector<std::string> paths;
  for (const DiskStats& disk : snapshot.disks) {
    if (!disk.mounted) continue;
    for (const SourceRow& row : kDiskRows) {
      paths.push_back(kDiskPrefix + disk.name + ")\\" + row.windows);
    }
  }
  return paths;
}

bool counter_value(const Counter& counter, const Snapshot& before, const Snapshot& after,
                   double seconds, double& value) {
  value = 0;
  switch (counter.source) {
    case Source::kUnknown:
      return false;
    case Source::kNone:
      return true;
    case Source::kCpuUser:
    case Source::kCpuSystem:
    case Source::kCpuBusy:
      return cpu_value(counter.source, before, after, value);
    case Source::kInterrupts:
      if (!before.has_interrupts || !after.has_interrupts) return false;
      value = ratio(delta(before.interrupts, after.interrupts), seconds);
      return true;
    case Source::kContextSwitches:
      if (!before.has_context_switches || !after.has_context_switches) return false;
      value = ratio(delta(before.context_switches, after.context_switches), seconds);
      return true;
    case Source::kMountedReads:
      value =
          ratio(mounted_delta(before, after, [](const DiskStats& d) { return d.reads; }), seconds);
      return true;
    case Source::kMountedWrites:
      value =
          ratio(mounted_delta(before, after, [](const DiskStats& d) { return d.writes; }), seconds);
      return true;
    case Source::kMountedReadBytes:
      value = kSectorBytes *
              ratio(mounted_delta(before, after, [](const DiskStats& d) { return d.read_sectors; }),
                    seconds);
      return true;
    case Source::kMountedWriteBytes:
      value =
          kSectorBytes *
          ratio(mounted_delta(before, after, [](const DiskStats& d) { return d.write_sectors; }),
                seconds);
      return true;
    default:
      break;
  }
  const DiskStats* b = find_disk(before, counter.instance);
  const DiskStats* a = find_disk(after, counter.instance);
  if (b == nullptr || a == nullptr) return false;
  return disk_value(counter.source, *b, *a, seconds, value);
}

}  // namespace platform::proc
