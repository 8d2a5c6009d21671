#include "controller/sim/workload.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "controller/sim/readings.h"

namespace {

using ctlsim::Load;
using ctlsim::load_at;
using ctlsim::load_over;
using ctlsim::parse_workload;
using ctlsim::Workload;
using ctlsim::WorkloadKind;

Workload named(const std::string& text) {
  Workload workload;
  EXPECT_EQ(parse_workload(text, workload), "") << text;
  return workload;
}

// The parsed workload as "NAME START LENGTH", or "refused".
std::string parsed(const std::string& text) {
  Workload workload;
  workload.start = -1;  // left alone on refusal
  if (!parse_workload(text, workload).empty()) {
    return workload.start == -1 ? "refused" : "refused but changed";
  }
  char numbers[64];
  std::snprintf(numbers, sizeof numbers, " %g %g", workload.start, workload.length);
  return ctlsim::workload_name(workload.kind) + std::string(numbers);
}

TEST(WorkloadParse, NamesAndTheirWindow) {
  EXPECT_EQ(parsed("steady"), "steady 60 30");
  EXPECT_EQ(parsed("disk_burst"), "disk_burst 60 30");
  EXPECT_EQ(parsed("cpu_saturation start=5"), "cpu_saturation 5 30");
  EXPECT_EQ(parsed("back_to_back_cp length=12"), "back_to_back_cp 60 12");
  EXPECT_EQ(parsed("  failing_disk\tlength=2.5 start=0 "), "failing_disk 0 2.5");
  EXPECT_EQ(parsed("quiet"), "quiet 60 30");
}

TEST(WorkloadParse, RefusesWhatItDoesNotKnow) {
  EXPECT_EQ(parsed(""), "refused");
  EXPECT_EQ(parsed("busy"), "refused");
  EXPECT_EQ(parsed("Steady"), "refused");
  EXPECT_EQ(parsed("disk_burst begin=3"), "refused");
  EXPECT_EQ(parsed("disk_burst start=-3"), "refused");
  EXPECT_EQ(parsed("disk_burst start=3s"), "refused");
  EXPECT_EQ(parsed("disk_burst start="), "refused");
  EXPECT_EQ(parsed("disk_burst 30"), "refused");
  EXPECT_EQ(parsed("disk_burst length=1e9"), "refused");
}

TEST(WorkloadParse, TheDefaultIsSteady) {
  Workload workload;
  EXPECT_EQ(workload.kind, WorkloadKind::kSteady);
}

// Every second inside and outside a 20-second window from 40 s.
TEST(WorkloadShapes, DiskBurstOnlyInsideItsWindow) {
  Workload burst = named("disk_burst start=40 length=20");
  for (double t = 40; t < 60; t += 0.5) {
    Load load = load_at(burst, "c1", t);
    EXPECT_GE(load.disk_util, 85) << t;
    EXPECT_GE(load.disk_read, 60000) << t;
    EXPECT_GE(load.disk_write, 40000) << t;
    EXPECT_LT(load.cpu, 95) << t;  // disk-bound, not CPU-bound
  }
  for (double t : {0.0, 10.0, 39.5, 39.99, 60.0, 61.0, 300.0, 3000.0}) {
    Load load = load_at(burst, "c1", t);
    EXPECT_LT(load.disk_util, 60) << t;
    EXPECT_LT(load.disk_read, 30000) << t;
  }
}

TEST(WorkloadShapes, CpuSaturationOnEveryProcessor) {
  Workload saturation = named("cpu_saturation start=10 length=5");
  for (double t = 10; t < 15; t += 0.25) {
    Load load = load_at(saturation, "c2", t);
    EXPECT_GE(load.cpu, 95) << t;
    for (int processors : {1, 2, 4, 8}) {
      for (int cpu = 0; cpu < processors; ++cpu) {
        EXPECT_GE(ctlsim::processor_busy(load, cpu, processors), 95) << t << " " << cpu;
        EXPECT_LE(ctlsim::processor_busy(load, cpu, processors), 100);
      }
    }
  }
  for (double t : {0.0, 9.9, 15.0, 100.0}) EXPECT_LT(load_at(saturation, "c2", t).cpu, 70) << t;
}

TEST(WorkloadShapes, BackToBackConsistencyPoints) {
  Workload cps = named("back_to_back_cp start=0 length=8");
  for (double t = 0; t < 8; t += 0.5) {
    Load load = load_at(cps, "c3", t);
    EXPECT_GE(load.cp_time, 95) << t;
    EXPECT_EQ(load.back_to_back, 1) << t;
    EXPECT_GE(load.latency_ms, 20) << t;
    EXPECT_STREQ(ctlsim::cp_type(load), "B") << t;  // sysstat's letter says so
  }
  Load after = load_at(cps, "c3", 9);
  EXPECT_LT(after.cp_time, 60);
  EXPECT_EQ(after.back_to_back, 0);
  EXPECT_EQ(std::string("Bb").find(ctlsim::cp_type(after)[0]), std::string::npos);
}

TEST(WorkloadShapes, FailingDiskIsSlowAndReportsErrors) {
  Workload failing = named("failing_disk start=30 length=10");
  for (double t = 30; t < 40; t += 0.5) {
    Load load = load_at(failing, "c4", t);
    EXPECT_GE(load.latency_ms, 40) << t;
    EXPECT_GT(load.disk_errors, 0) << t;
    EXPECT_GT(ctlsim::disk_errors(load, ctlsim::kFailingDisk), 0);
    for (int disk = 0; disk < ctlsim::kDisks; ++disk) {
      if (disk != ctlsim::kFailingDisk) {
        EXPECT_EQ(ctlsim::disk_errors(load, disk), 0);
      }
      EXPECT_LE(ctlsim::disk_busy(load, disk), ctlsim::disk_busy(load, ctlsim::kFailingDisk));
    }
  }
  for (double t : {0.0, 29.0, 40.0}) {
    Load load = load_at(failing, "c4", t);
    EXPECT_EQ(load.disk_errors, 0) << t;
    EXPECT_LT(load.latency_ms, 5) << t;
  }
}

TEST(WorkloadShapes, QuietIsNearZeroAllTheTime) {
  Workload quiet = named("quiet start=0 length=100000");
  for (double t = 0; t < 900; t += 7.3) {
    Load load = load_at(quiet, "c5", t);
    EXPECT_LT(load.cpu, 5) << t;
    EXPECT_LT(ctlsim::total_ops(load), 10) << t;
    EXPECT_LT(load.disk_util, 5) << t;
    EXPECT_LT(load.cp_time, 5) << t;
    EXPECT_LT(load.disk_read + load.disk_write + load.net_in + load.net_out, 100) << t;
    EXPECT_EQ(load.disk_errors, 0);
    EXPECT_GE(load.cache_hit, 98) << t;  // nothing misses: no reason for alarm
  }
}

// The default: moves with a slow swell (not flat), stays in a realistic band
// and is not mere noise (minute means differ more than neighbouring seconds).
TEST(WorkloadShapes, SteadyHasAMildRealisticShape) {
  Workload steady;
  double low = 100, high = 0;
  for (double t = 0; t < 600; t += 1) {
    Load load = load_at(steady, "sim1", t);
    low = std::min(low, load.cpu);
    high = std::max(high, load.cpu);
    EXPECT_GE(load.cpu, 5);
    EXPECT_LE(load.cpu, 60);
    EXPECT_LE(load.disk_util, 60);
    EXPECT_GE(load.cache_hit, 85);
    EXPECT_LT(load.latency_ms, 5);
    EXPECT_EQ(load.back_to_back, 0);
    EXPECT_EQ(load.disk_errors, 0);
  }
  EXPECT_GT(high - low, 10);
  double low_minute = 100, high_minute = 0;
  for (double t = 0; t < 600; t += 60) {
    double mean = load_over(steady, "sim1", t, t + 60).cpu;
    low_minute = std::min(low_minute, mean);
    high_minute = std::max(high_minute, mean);
  }
  EXPECT_GT(high_minute - low_minute, 6);
  // The window means nothing to it.
  Workload with_window = named("steady start=0 length=1000");
  EXPECT_EQ(load_at(with_window, "sim1", 70).cpu, load_at(steady, "sim1", 70).cpu);
  // Two controllers are not in step.
  EXPECT_NE(load_at(steady, "sim1", 70).cpu, load_at(steady, "sim2", 70).cpu);
}

TEST(WorkloadShapes, TheSameInstantGivesTheSameLevels) {
  Workload burst = named("disk_burst start=5 length=5");
  Load first = load_at(burst, "c6", 7.25);
  Load again = load_at(burst, "c6", 7.25);
  EXPECT_EQ(first.disk_util, again.disk_util);
  EXPECT_EQ(first.cpu, again.cpu);
  EXPECT_EQ(first.nfs, again.nfs);
}

// A row that spans the edge of the window shows part of the burst.
TEST(WorkloadShapes, MeansOverASpanAcrossTheWindowEdge) {
  Workload burst = named("disk_burst start=10 length=10");
  double before = load_over(burst, "c7", 0, 10).disk_util;
  double inside = load_over(burst, "c7", 10, 20).disk_util;
  double across = load_over(burst, "c7", 5, 15).disk_util;
  EXPECT_LT(before, 50);
  EXPECT_GE(inside, 85);
  EXPECT_GT(across, before + 15);
  EXPECT_LT(across, inside - 15);
  EXPECT_EQ(load_over(burst, "c7", 12, 12).disk_util, load_at(burst, "c7", 12).disk_util);
}

// At one instant every sampler tells the same story.
TEST(WorkloadReadings, SamplersAgreeAtOneInstant) {
  for (const char* name : {"steady", "disk_burst start=0", "cpu_saturation start=0",
                           "back_to_back_cp start=0", "failing_disk start=0", "quiet"}) {
    Load load = load_at(named(name), "c8", 12.5);
    SCOPED_TRACE(name);
    // sysstat, its per-processor form and the system object.
    double cpu = ctlsim::sysstat_column(load, "CPU", 4);
    EXPECT_EQ(cpu, load.cpu);
    EXPECT_EQ(ctlsim::sysstat_column(load, "AVG", 4), cpu);
    double sum = 0;
    for (int c = 0; c < 4; ++c) sum += ctlsim::sysstat_column(load, "CPU" + std::to_string(c), 4);
    EXPECT_NEAR(sum / 4, cpu, 0.001);
    EXPECT_GE(ctlsim::sysstat_column(load, "ANY1+", 4), cpu);
    auto reading = ctlsim::counter_reading("system", "cpu_busy");
    EXPECT_EQ(ctlsim::followed(load, reading.follows) * reading.factor, cpu);
    double ops = 0;
    for (const char* column : {"NFS", "CIFS", "HTTP", "FCP", "iSCSI"})
      ops += ctlsim::sysstat_column(load, column, 4);
    EXPECT_NEAR(ctlsim::sysstat_column(load, "Total_ops", 4), ops, 0.001);
    reading = ctlsim::counter_reading("system", "total_ops");
    EXPECT_NEAR(ctlsim::followed(load, reading.follows), ops, 0.001);
    reading = ctlsim::counter_reading("nfsv3", "nfsv3_ops");
    EXPECT_EQ(ctlsim::followed(load, reading.follows), ctlsim::sysstat_column(load, "NFS", 4));
    // The busiest disk (statit, the disk object) is sysstat's Disk_util.
    double busiest = 0;
    for (int disk = 0; disk < ctlsim::kDisks; ++disk)
      busiest = std::max(busiest, ctlsim::disk_busy(load, disk));
    EXPECT_EQ(busiest, ctlsim::sysstat_column(load, "Disk_util", 4));
    // The domains fill a processor's time; idle is what the CPU leaves.
    std::vector<double> shares = ctlsim::domain_shares(load, cpu);
    ASSERT_EQ(shares.size(), ctlsim::domain_labels().size());
    double total = 0;
    for (double share : shares) {
      EXPECT_GE(share, 0);
      total += share;
    }
    EXPECT_NEAR(total, 1, 1e-9);
    EXPECT_NEAR(shares[0], 1 - cpu / 100, 1e-9);
    // Latency counters follow the workload's latency.
    reading = ctlsim::counter_reading("volume", "avg_latency");
    EXPECT_EQ(ctlsim::followed(load, reading.follows) * reading.factor, load.latency_ms * 1000);
  }
}

TEST(WorkloadReadings, EveryBurstShowsInTheDomainsItLoads) {
  Load calm = load_at(named("disk_burst start=100"), "c9", 3);
  Load burst = load_at(named("disk_burst start=0"), "c9", 3);
  // storage takes a larger part of the busy time in a disk burst
  EXPECT_GT(ctlsim::domain_shares(burst, 50)[2], ctlsim::domain_shares(calm, 50)[2]);
  Load cps = load_at(named("back_to_back_cp start=0"), "c9", 3);
  EXPECT_GT(ctlsim::domain_shares(cps, 50)[5], ctlsim::domain_shares(calm, 50)[5]);  // raid
  double nfs_share = 0;
  for (const auto& entry : ctlsim::nfs_op_shares()) nfs_share += entry.second;
  EXPECT_NEAR(nfs_share, 1, 1e-9);
}

}  // namespace
