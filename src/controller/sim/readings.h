// How each sampler reads the levels of a workload (workload.h): the sysstat
// columns, the per-processor and per-disk spreads, the domain shares and the
// counters of the statistics objects. Header only, like workload.h, so that
// the unit tests can check that the samplers agree.
#pragma once

#include <cmath>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "controller/sim/workload.h"

namespace ctlsim {

inline double total_ops(const Load& load) {
  return load.nfs + load.cifs + load.http + load.fcp + load.iscsi;
}

// Busy % of processor `cpu` of `processors`: spread around the mean so that
// their mean stays the controller's CPU and a saturated controller has every
// processor saturated.
inline double processor_busy(const Load& load, int cpu, int processors) {
  if (processors < 2) return load.cpu;
  double room = std::fmin(load.cpu, 100 - load.cpu);
  double spread = std::fmin(8.0, room / 2);
  double position = (cpu - (processors - 1) / 2.0) / ((processors - 1) / 2.0);  // -1 to 1
  return workload_detail::clamp(load.cpu + spread * position, 0, 100);
}

// The disks of the simulated aggregate, and the one that fails.
constexpr int kDisks = 6;
constexpr int kFailingDisk = 3;  // 0a.19

// Busy % of disk `index`: the busiest carries the controller's Disk_util; a
// failing disk is the busiest while it fails, and the others then idle more.
inline double disk_busy(const Load& load, int index) {
  if (load.disk_errors > 0) {
    if (index == kFailingDisk) return load.disk_util;
    return load.disk_util * 0.25 * (1 - 0.05 * index);
  }
  return load.disk_util * (1 - 0.05 * index);
}

inline double disk_errors(const Load& load, int index) {
  return index == kFailingDisk ? load.disk_errors : 0;
}

// The column of a sysstat row: those of the plain and -x forms, and of -M
// (ANY1+, AVG, CPUn, Total_ops) for a controller of `processors`.
inline double sysstat_column(const Load& load, const std::string& column, int processors) {
  if (column == "CPU" || column == "AVG") return load.cpu;
  if (column == "NFS") return load.nfs;
  if (column == "CIFS") return load.cifs;
  if (column == "HTTP") return load.http;
  if (column == "FCP") return load.fcp;
  if (column == "iSCSI") return load.iscsi;
  if (column == "Net_in") return load.net_in;
  if (column == "Net_out") return load.net_out;
  if (column == "Disk_rd") return load.disk_read;
  if (column == "Disk_wr") return load.disk_write;
  if (column == "Cache_hit") return load.cache_hit;
  if (column == "CP_time") return load.cp_time;
  if (column == "Disk_util") return load.disk_util;
  if (column == "Total_ops") return total_ops(load);
  if (column == "ANY1+") {
    // Some processor is busy more often than the mean says.
    return workload_detail::clamp(load.cpu * (1.5 - 0.5 * load.cpu / 100), 0, 100);
  }
  if (column.size() > 3 && column.compare(0, 3, "CPU") == 0) {
    return processor_busy(load, std::atoi(column.c_str() + 3), processors);
  }
  return 0;  // the tape drives stay idle
}

// sysstat's CP_type letter for a row: B back-to-back, b deferred
// back-to-back, F a full log, T the timer, - no consistency point.
inline const char* cp_type(const Load& load) {
  if (load.back_to_back >= 0.5) return "B";
  if (load.back_to_back > 0) return "b";
  if (load.cp_time < 3) return "-";
  if (load.cp_time >= 50) return "F";
  return "T";
}

// The labels of the processors' domain_busy array, and each domain's share
// (0 to 1) of the time of a processor that is `busy` % busy: idle first, the
// rest split by what the controller does.
inline const std::vector<const char*>& domain_labels() {
  static const std::vector<const char*> kLabels = {"idle", "network", "storage", "protocol",
                                                   "fsys", "raid",    "exempt",  "target"};
  return kLabels;
}

inline std::vector<double> domain_shares(const Load& load, double busy) {
  double ops = total_ops(load) / 3000;
  std::vector<double> weights = {
      0,
      (load.net_in + load.net_out) / 23000,
      (load.disk_read + load.disk_write) / 21000 + load.disk_errors,
      ops,
      ops + load.cp_time / 100,
      load.disk_write / 9000 + load.cp_time / 100,
      0.3,
      (load.fcp + load.iscsi) / 550,
  };
  double sum = 0;
  for (double w : weights) sum += w;
  std::vector<double> shares;
  double used = workload_detail::clamp(busy, 0, 100) / 100;
  shares.push_back(1 - used);
  for (size_t i = 1; i < weights.size(); ++i) shares.push_back(used * weights[i] / sum);
  return shares;
}

// The NFS operations by kind, as shares of all NFS operations.
inline const std::vector<std::pair<const char*, double>>& nfs_op_shares() {
  static const std::vector<std::pair<const char*, double>> kShares = {
      {"null", 0.01}, {"getattr", 0.25}, {"setattr", 0.03}, {"lookup", 0.15}, {"access", 0.10},
      {"read", 0.25}, {"write", 0.15},   {"create", 0.03},  {"remove", 0.03}};
  return kShares;
}

// What a statistics counter follows.
enum class Follows {
  kCpu,
  kNfs,
  kCifs,
  kFcp,
  kIscsi,
  kOps,
  kSanOps,
  kNetIn,
  kNetOut,
  kDiskRead,
  kDiskWrite,
  kDiskIo,
  kDiskUtil,
  kCpTime,
  kCpCount,
  kLatency,
  kDiskErrors,
  kZero,
  kActivity  // anything else: its own rate, scaled by how busy the controller is
};

struct CounterReading {
  const char* object;
  const char* counter;
  Follows follows;
  double factor;
};

inline const std::vector<CounterReading>& counter_readings() {
  static const std::vector<CounterReading> kReadings = {
      {"system", "nfs_ops", Follows::kNfs, 1},
      {"system", "cifs_ops", Follows::kCifs, 1},
      {"system", "fcp_ops", Follows::kFcp, 1},
      {"system", "iscsi_ops", Follows::kIscsi, 1},
      {"system", "total_ops", Follows::kOps, 1},
      {"system", "cpu_busy", Follows::kCpu, 1},
      {"system", "net_data_recv", Follows::kNetIn, 1},
      {"system", "net_data_sent", Follows::kNetOut, 1},
      {"system", "disk_data_read", Follows::kDiskRead, 1},
      {"system", "disk_data_written", Follows::kDiskWrite, 1},
      {"processor", "processor_busy", Follows::kCpu, 1},
      {"volume", "total_ops", Follows::kOps, 0.3},
      {"volume", "read_ops", Follows::kOps, 0.18},
      {"volume", "write_ops", Follows::kOps, 0.12},
      {"volume", "avg_latency", Follows::kLatency, 1000},  // microseconds
      {"volume", "read_data", Follows::kDiskRead, 307.2},  // bytes/s, a third of the disk's
      {"volume", "write_data", Follows::kDiskWrite, 307.2},
      {"aggregate", "total_transfers", Follows::kDiskIo, 1.0 / 32},
      {"aggregate", "user_reads", Follows::kDiskRead, 1.0 / 32},
      {"aggregate", "user_writes", Follows::kDiskWrite, 1.0 / 32},
      {"aggregate", "cp_reads", Follows::kDiskWrite, 1.0 / 256},
      {"disk", "disk_busy", Follows::kDiskUtil, 1},
      {"disk", "total_transfers", Follows::kDiskIo, 1.0 / (32 * kDisks)},
      {"disk", "user_read_blocks", Follows::kDiskRead, 1.0 / (4 * kDisks)},
      {"disk", "user_write_blocks", Follows::kDiskWrite, 1.0 / (4 * kDisks)},
      {"disk", "io_errors", Follows::kDiskErrors, 1},
      {"ifnet", "recv_packets", Follows::kNetIn, 0.35},
      {"ifnet", "send_packets", Follows::kNetOut, 0.35},
      {"ifnet", "recv_errors", Follows::kZero, 0},
      {"ifnet", "send_errors", Follows::kZero, 0},
      {"nfsv3", "nfsv3_ops", Follows::kNfs, 1},
      {"nfsv3", "nfsv3_read_ops", Follows::kNfs, 0.45},
      {"nfsv3", "nfsv3_write_ops", Follows::kNfs, 0.25},
      {"nfsv3", "nfsv3_avg_op_latency", Follows::kLatency, 1},
      {"cifs", "cifs_ops", Follows::kCifs, 1},
      {"cifs", "cifs_latency", Follows::kLatency, 1.1},
      {"cifs", "cifs_read_ops", Follows::kCifs, 0.5},
      {"cifs", "cifs_write_ops", Follows::kCifs, 0.3},
      {"fcp", "fcp_ops", Follows::kFcp, 1},
      {"fcp", "fcp_read_data", Follows::kFcp, 16384},
      {"fcp", "fcp_write_data", Follows::kFcp, 12288},
      {"iscsi", "iscsi_ops", Follows::kIscsi, 1},
      {"iscsi", "iscsi_read_data", Follows::kIscsi, 16384},
      {"iscsi", "iscsi_write_data", Follows::kIscsi, 12288},
      {"lun", "read_ops", Follows::kSanOps, 0.3},
      {"lun", "write_ops", Follows::kSanOps, 0.2},
      {"lun", "avg_latency", Follows::kLatency, 1},
      {"target", "read_ops", Follows::kFcp, 0.6},
      {"target", "write_ops", Follows::kFcp, 0.4},
      {"target", "queue_full", Follows::kZero, 0},
      {"fsys", "cp_count", Follows::kCpCount, 1},
      {"fsys", "cp_phase_time", Follows::kCpTime, 20},  // ms per consistency point
      {"nvram", "nvlog_writes", Follows::kDiskWrite, 1.0 / 8},
      {"nvram", "nvlog_bytes", Follows::kDiskWrite, 512},
  };
  return kReadings;
}

inline double followed(const Load& load, Follows follows) {
  switch (follows) {
    case Follows::kCpu:
      return load.cpu;
    case Follows::kNfs:
      return load.nfs;
    case Follows::kCifs:
      return load.cifs;
    case Follows::kFcp:
      return load.fcp;
    case Follows::kIscsi:
      return load.iscsi;
    case Follows::kOps:
      return total_ops(load);
    case Follows::kSanOps:
      return load.fcp + load.iscsi;
    case Follows::kNetIn:
      return load.net_in;
    case Follows::kNetOut:
      return load.net_out;
    case Follows::kDiskRead:
      return load.disk_read;
    case Follows::kDiskWrite:
      return load.disk_write;
    case Follows::kDiskIo:
      return load.disk_read + load.disk_write;
    case Follows::kDiskUtil:
      return load.disk_util;
    case Follows::kCpTime:
      return load.cp_time;
    case Follows::kCpCount:
      return 0.1 + 0.5 * load.cp_time / 100;  // per second
    case Follows::kLatency:
      return load.latency_ms;
    case Follows::kDiskErrors:
      return load.disk_errors;
    case Follows::kZero:
      return 0;
    case Follows::kActivity:
      return total_ops(load) / 3000;
  }
  return 0;
}

// What `object`:`counter` follows (kActivity with factor 1 for a counter not
// in the table).
inline CounterReading counter_reading(const std::string& object, const std::string& counter) {
  for (const CounterReading& reading : counter_readings()) {
    if (object == reading.object && counter == reading.counter) return reading;
  }
  if (counter == "latency") return {"", "", Follows::kLatency, 1};
  return {"", "", Follows::kActivity, 1};
}

}  // namespace ctlsim
