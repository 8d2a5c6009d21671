#include "platform/posix/proc_counters.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/host_counters.h"

namespace proc = platform::proc;

namespace {

const std::string kFixtures =
    (std::filesystem::path(__FILE__).parent_path() / "../../../tests/fixtures/proc").string();

// Two snapshots of the fixture host, 10 seconds apart.
struct FixtureHost : ::testing::Test {
  proc::Snapshot before, after;
  void SetUp() override {
    ASSERT_EQ(proc::read_snapshot(kFixtures + "/before", before), 0);
    ASSERT_EQ(proc::read_snapshot(kFixtures + "/after", after), 0);
  }
  double value(const std::string& path) {
    proc::Counter counter = proc::find_counter(path);
    EXPECT_NE(counter.source, proc::Source::kUnknown) << path;
    double result = -1;
    EXPECT_TRUE(proc::counter_value(counter, before, after, 10.0, result)) << path;
    return result;
  }
  std::string disk(const std::string& name, const std::string& counter) {
    return "\\LogicalDisk(" + name + ")\\" + counter;
  }
};

TEST_F(FixtureHost, SystemSetRatesComeFromProcStatAndMountedDisks) {
  EXPECT_DOUBLE_EQ(value("\\Processor(_Total)\\% User Time"), 25.0);
  EXPECT_DOUBLE_EQ(value("\\Processor(_Total)\\% Privileged Time"), 15.0);
  EXPECT_DOUBLE_EQ(value("\\Processor(_Total)\\% Processor Time"), 40.0);
  EXPECT_DOUBLE_EQ(value("\\Processor(_Total)\\Interrupts/sec"), 2000.0);
  EXPECT_DOUBLE_EQ(value("\\System\\Context Switches/sec"), 5000.0);
  // vda1 and vda2 only: the whole disk vda would count them twice, loop0
  // is not mounted, sdb is gone from the second snapshot.
  EXPECT_DOUBLE_EQ(value("\\System\\File Read Operations/sec"), 30.0);
  EXPECT_DOUBLE_EQ(value("\\System\\File Write Operations/sec"), 40.0);
  EXPECT_DOUBLE_EQ(value("\\System\\File Read Bytes/sec"), 22528.0 * 512 / 10);
  EXPECT_DOUBLE_EQ(value("\\System\\File Write Bytes/sec"), 16384.0 * 512 / 10);
  EXPECT_DOUBLE_EQ(value("\\System\\File Control Operations/sec"), 0.0);
  EXPECT_DOUBLE_EQ(value("\\System\\File Control Bytes/sec"), 0.0);
}

TEST_F(FixtureHost, LogicalDiskRatesOfOneDisk) {
  EXPECT_DOUBLE_EQ(value(disk("vda1", "% Disk Time")), 25.0);
  EXPECT_DOUBLE_EQ(value(disk("vda1", "% Disk Read Time")), 4.0);
  EXPECT_DOUBLE_EQ(value(disk("vda1", "% Disk Write Time")), 5.0);
  EXPECT_DOUBLE_EQ(value(disk("vda1", "Avg. Disk Queue Length")), 0.5);
  EXPECT_DOUBLE_EQ(value(disk("vda1", "Avg. Disk Read Queue Length")), 0.04);
  EXPECT_DOUBLE_EQ(value(disk("vda1", "Avg. Disk Write Queue Length")), 0.05);
  EXPECT_DOUBLE_EQ(value(disk("vda1", "Avg. Disk sec/Transfer")), 0.003);
  EXPECT_DOUBLE_EQ(value(disk("vda1", "Avg. Disk sec/Read")), 0.002);
  EXPECT_DOUBLE_EQ(value(disk("vda1", "Avg. Disk sec/Write")), 0.005);
  EXPECT_DOUBLE_EQ(value(disk("vda1", "Disk Transfers/sec")), 30.0);
  EXPECT_DOUBLE_EQ(value(disk("vda1", "Disk Reads/sec")), 20.0);
  EXPECT_DOUBLE_EQ(value(disk("vda1", "Disk Writes/sec")), 10.0);
  EXPECT_DOUBLE_EQ(value(disk("vda1", "Disk Bytes/sec")), 1572864.0);
  EXPECT_DOUBLE_EQ(value(disk("vda1", "Disk Read Bytes/sec")), 1048576.0);
  EXPECT_DOUBLE_EQ(value(disk("vda1", "Disk Write Bytes/sec")), 524288.0);
  EXPECT_DOUBLE_EQ(value(disk("vda1", "Avg. Disk Bytes/Transfer")), 52428.8);
  EXPECT_DOUBLE_EQ(value(disk("vda1", "Avg. Disk Bytes/Read")), 52428.8);
  EXPECT_DOUBLE_EQ(value(disk("vda1", "Avg. Disk Bytes/Write")), 52428.8);
}

TEST_F(FixtureHost, IdleDiskReadsZeroWithoutDividingByZero) {
  EXPECT_DOUBLE_EQ(value(disk("loop0", "Avg. Disk sec/Read")), 0.0);
  EXPECT_DOUBLE_EQ(value(disk("loop0", "Avg. Disk Bytes/Transfer")), 0.0);
  EXPECT_DOUBLE_EQ(value(disk("loop0", "Disk Reads/sec")), 0.0);
}

TEST_F(FixtureHost, DiskMissingFromASnapshotCannotBeRead) {
  double result = 0;
  EXPECT_FALSE(proc::counter_value(proc::find_counter(disk("sdb", "Disk Reads/sec")), before, after,
                                   10.0, result));
  EXPECT_FALSE(proc::counter_value(proc::find_counter(disk("nosuch", "Disk Reads/sec")), before,
                                   after, 10.0, result));
}

TEST_F(FixtureHost, CounterGoingBackwardsCountsAsNoChange) {
  // Swapped snapshots: every counter went down.
  double result = -1;
  ASSERT_TRUE(proc::counter_value(proc::find_counter(disk("vda1", "Disk Reads/sec")), after, before,
                                  10.0, result));
  EXPECT_DOUBLE_EQ(result, 0.0);
}

TEST_F(FixtureHost, ExpansionListsMountedDisksOnceEachInKernelOrder) {
  std::vector<std::string> paths = proc::expand_logical_disks(after);
  ASSERT_EQ(paths.size(), 36u);
  EXPECT_EQ(paths.front(), "\\LogicalDisk(vda1)\\% Disk Time");
  EXPECT_EQ(paths[17], "\\LogicalDisk(vda1)\\Avg. Disk Bytes/Write");
  EXPECT_EQ(paths[18], "\\LogicalDisk(vda2)\\% Disk Time");
  // Every expanded path is one the query accepts.
  for (const std::string& path : paths) {
    EXPECT_NE(proc::find_counter(path).source, proc::Source::kUnknown) << path;
  }
  // The unplugged disk was there before.
  EXPECT_EQ(proc::expand_logical_disks(before).size(), 54u);
}

TEST(ProcParsing, OldPartitionLinesAndShortCpuLinesAreSkipped) {
  proc::Snapshot snapshot;
  proc::parse_diskstats("   3    1 hda1 12 340 56 78\n   3    0 hda 1 2 3 4 5 6 7 8 9 10 11\n",
                        snapshot);
  ASSERT_EQ(snapshot.disks.size(), 1u);
  EXPECT_EQ(snapshot.disks[0].name, "hda");
  EXPECT_EQ(snapshot.disks[0].weighted_io_ms, 11u);
  proc::parse_stat("cpu 1 2 3\nintr 5\n", snapshot);
  EXPECT_FALSE(snapshot.has_cpu);
  EXPECT_TRUE(snapshot.has_interrupts);
  EXPECT_FALSE(snapshot.has_context_switches);
}

TEST(ProcParsing, MissingStatFileIsAnError) {
  proc::Snapshot snapshot;
  EXPECT_NE(proc::read_snapshot(kFixtures + "/nowhere", snapshot), 0);
}

TEST(ProcCounterPaths, UnknownPathsAndLegends) {
  EXPECT_EQ(proc::find_counter("\\System\\% Total User Time").source, proc::Source::kUnknown);
  EXPECT_EQ(proc::find_counter("\\LogicalDisk(C:)\\Free Megabytes").source, proc::Source::kUnknown);
  proc::Counter counter = proc::find_counter("\\LogicalDisk(dm-0)\\Disk Reads/sec");
  EXPECT_EQ(counter.source, proc::Source::kDiskReads);
  EXPECT_EQ(counter.instance, "dm-0");
  EXPECT_EQ(proc::describe_source("\\System\\File Control Bytes/sec"), "no Linux source, reads 0");
  EXPECT_EQ(proc::describe_source("Disk Reads/sec"), "/proc/diskstats field 1 per second");
  EXPECT_EQ(proc::describe_source("\\LogicalDisk(sda)\\Disk Reads/sec"),
            "/proc/diskstats field 1 per second");
}

TEST(LiveQuery, RatesNeedTwoSamplesAndUnknownPathsAreRefused) {
  namespace counters = platform::counters;
  counters::Status status = 0;
  counters::Query* query = counters::open_query(status);
  ASSERT_NE(query, nullptr);
  int busy = -1, unknown = -1;
  ASSERT_TRUE(counters::add_counter(query, "\\Processor(_Total)\\% Processor Time", busy, status));
  EXPECT_FALSE(counters::add_counter(query, "\\Memory\\Available Bytes", unknown, status));
  EXPECT_NE(status, 0);
  std::int32_t percent = -1;
  ASSERT_TRUE(counters::collect(query, status));
  EXPECT_FALSE(counters::read_int32(query, busy, percent, status));
  ASSERT_TRUE(counters::collect(query, status));
  ASSERT_TRUE(counters::read_int32(query, busy, percent, status));
  EXPECT_GE(percent, 0);
  EXPECT_LE(percent, 100);
  counters::close_query(query);
}

}  // namespace
