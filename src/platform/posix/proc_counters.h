// The host counters of a Linux kernel: snapshots of /proc/stat,
// /proc/diskstats and /proc/self/mountinfo, the Windows counter paths each
// snapshot field stands in for, and the rates between two snapshots. Pure
// apart from reading the files, so tests can point it at copies.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace platform::proc {

struct CpuTimes {
  std::uint64_t user = 0, nice = 0, system = 0, idle = 0, iowait = 0, irq = 0, softirq = 0;
};

// One line of /proc/diskstats (fields 1 to 11 of the kernel's documentation).
struct DiskStats {
  std::string name;
  unsigned major = 0, minor = 0;
  std::uint64_t reads = 0, read_sectors = 0, read_ms = 0;
  std::uint64_t writes = 0, write_sectors = 0, write_ms = 0;
  std::uint64_t io_ms = 0, weighted_io_ms = 0;
  bool mounted = false;  // holds a mounted file system
};

struct Snapshot {
  bool has_cpu = false, has_interrupts = false, has_context_switches = false;
  CpuTimes cpu;
  std::uint64_t interrupts = 0;
  std::uint64_t context_switches = 0;
  std::vector<DiskStats> disks;  // in /proc/diskstats order
};

void parse_stat(const std::string& text, Snapshot& snapshot);
void parse_diskstats(const std::string& text, Snapshot& snapshot);
// Marks the disks whose device numbers a mountinfo text mounts.
void mark_mounted(const std::string& mountinfo, Snapshot& snapshot);

// Reads the three files under `root` ("" for the live system). Only
// /proc/stat is required; returns its errno when it cannot be read.
int read_snapshot(const std::string& root, Snapshot& snapshot);

enum class Source {
  kUnknown,
  kNone,  // a Windows counter with no Linux counterpart: reads 0
  kCpuUser,
  kCpuSystem,
  kCpuBusy,
  kInterrupts,
  kContextSwitches,
  kMountedReads,
  kMountedWrites,
  kMountedReadBytes,
  kMountedWriteBytes,
  kDiskBusyPercent,
  kDiskReadPercent,
  kDiskWritePercent,
  kDiskQueue,
  kDiskReadQueue,
  kDiskWriteQueue,
  kDiskSecPerTransfer,
  kDiskSecPerRead,
  kDiskSecPerWrite,
  kDiskTransfers,
  kDiskReads,
  kDiskWrites,
  kDiskBytes,
  kDiskReadBytes,
  kDiskWriteBytes,
  kDiskBytesPerTransfer,
  kDiskBytesPerRead,
  kDiskBytesPerWrite,
};

struct Counter {
  Source source = Source::kUnknown;
  std::string instance;  // the disk of a logical-disk counter
};

// Maps a Windows counter path to its source. kUnknown when there is none.
Counter find_counter(const std::string& path);

// The legend text for a Windows counter path or logical-disk counter name.
std::string describe_source(const std::string& path_or_name);

// True when `wildcard` asks for every logical-disk counter.
bool is_logical_disk_wildcard(const std::string& wildcard);

// Every logical-disk counter path of the mounted disks, disk by disk.
std::vector<std::string> expand_logical_disks(const Snapshot& snapshot);

// The counter's value over the time from `before` to `after`. False when a
// snapshot lacks what the counter needs (a disk that is gone, say).
bool counter_value(const Counter& counter, const Snapshot& before, const Snapshot& after,
                   double seconds, double& value);

}  // namespace platform::proc
