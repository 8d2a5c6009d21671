#include "samplers/host_counters.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>

#include "platform/host_counters.h"
#include "platform/platform.h"

namespace fs = std::filesystem;

namespace {

std::vector<std::string> read_lines(const fs::path& path) {
  std::ifstream in(path);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

fs::path scratch_dir() {
  return fs::temp_directory_path() /
         ("kestrel_host_counters_" + std::to_string(platform::current_process_id()));
}

fs::path scratch_file(const std::string& name) {
  fs::create_directories(scratch_dir());
  fs::path file = scratch_dir() / name;
  fs::remove(file);
  return file;
}

// The 23 counters a Windows host lists per logical disk, in its order.
std::vector<std::string> windows_disk_paths(const std::string& instance) {
  std::vector<std::string> paths;
  for (const char* counter : {"% Free Space",
                              "Free Megabytes",
                              "Current Disk Queue Length",
                              "% Disk Time",
                              "Avg. Disk Queue Length",
                              "% Disk Read Time",
                              "Avg. Disk Read Queue Length",
                              "% Disk Write Time",
                              "Avg. Disk Write Queue Length",
                              "Avg. Disk sec/Transfer",
                              "Avg. Disk sec/Read",
                              "Avg. Disk sec/Write",
                              "Disk Transfers/sec",
                              "Disk Reads/sec",
                              "Disk Writes/sec",
                              "Disk Bytes/sec",
                              "Disk Read Bytes/sec",
                              "Disk Write Bytes/sec",
                              "Avg. Disk Bytes/Transfer",
                              "Avg. Disk Bytes/Read",
                              "Avg. Disk Bytes/Write",
                              "% Idle Time",
                              "Split IO/Sec"}) {
    paths.push_back("\\LogicalDisk(" + instance + ")\\" + counter);
  }
  return paths;
}

TEST(HostCounterFormats, SystemHeaderAndRow) {
  EXPECT_EQ(samplers::system_header(),
            "\t   %usr\t   %sys\t   %cpu\t intr/s\tcsw/s  \tFRops/s\tFWops/s\tFCops/s\tFR kb/s"
            "\tFW kb/s\tFC kb/s");
  samplers::SystemValues values = {25, 15, 40, 2000, 5000, 30, 40, 0, 1153434, 1023, -1500};
  EXPECT_EQ(samplers::system_row(100, values),
            "100 s\t     25\t     15\t     40\t   2000\t   5000\t     30\t     40\t      0"
            "\t   1126\t      0\t     -1");
}

TEST(HostCounterFormats, SystemLegendUsesTheNewerPaths) {
  const auto& columns = samplers::system_columns();
  EXPECT_EQ(samplers::legend_line(columns[0].title, columns[0].path),
            "   %usr \t== \\Processor(_Total)\\% User Time");
  EXPECT_STREQ(columns[3].legacy_path, "\\System\\Total Interrupts/sec");
  EXPECT_STREQ(columns[10].title, "FC kb/s");
}

TEST(HostCounterFormats, DiskHeaderAndRowForms) {
  EXPECT_EQ(samplers::disk_header(),
            std::string(16, ' ') +
                "%DT     %DRT    %DWT    aQL     aRQL    aWQL    aS/x    aS/Rd   aS/Wr   xfr/s   "
                "r/s     w/s     KB/s    rKB/s   wKB/s   aKB/x   aKB/r   aKB/w   ");
  samplers::DiskValues values = {25.9,  4.2, -3.7, 0.51,    0.04,    1.26,   0.00123, 0.002, 0.0049,
                                 30.99, 20,  10,   1572864, 1048575, 1536.0, 52428.8, 2048,  -2048};
  EXPECT_EQ(samplers::disk_row("C:", 20, values),
            "      C: 20s      25       4      -3     0.5     0.0     1.3  0.0012  0.0020  0.0049"
            "      30      20      10    1536    1023       1      51       2      -2");
  // A long instance name is not cut; it pushes the row to the right.
  EXPECT_EQ(samplers::disk_row("HarddiskVolume12", 0, samplers::DiskValues{}).substr(0, 19),
            "HarddiskVolume12 0s");
}

TEST(DiskInstanceTable, CAndTotalInExpansionOrder) {
  std::vector<std::string> paths = windows_disk_paths("C:");
  std::vector<std::string> total = windows_disk_paths("_Total");
  paths.insert(paths.end(), total.begin(), total.end());
  std::vector<std::string> instances;
  std::string failure;
  ASSERT_TRUE(samplers::disk_instances(paths, instances, failure)) << failure;
  EXPECT_EQ(instances, (std::vector<std::string>{"C:", "_Total"}));

  std::vector<samplers::DiskSlot> slots;
  ASSERT_TRUE(samplers::disk_slots(paths, instances, slots, failure)) << failure;
  // Every column of both instances once; the five extra counters left out.
  ASSERT_EQ(slots.size(), 36u);
  std::vector<std::vector<int>> seen(2, std::vector<int>(samplers::kDiskColumns, 0));
  for (const samplers::DiskSlot& slot : slots) {
    ++seen[slot.instance][slot.column];
    const std::string& path = paths[slot.path];
    EXPECT_EQ(path.substr(path.rfind('\\') + 1), samplers::disk_columns()[slot.column].counter);
  }
  for (const auto& row : seen) EXPECT_EQ(row, std::vector<int>(samplers::kDiskColumns, 1));
}

TEST(DiskInstanceTable, InstancesAreMatchedWhole) {
  std::vector<std::string> paths = windows_disk_paths("HarddiskVolume1");
  std::vector<std::string> ten = windows_disk_paths("HarddiskVolume10");
  paths.insert(paths.end(), ten.begin(), ten.end());
  std::vector<std::string> instances;
  std::vector<samplers::DiskSlot> slots;
  std::string failure;
  ASSERT_TRUE(samplers::disk_instances(paths, instances, failure));
  ASSERT_TRUE(samplers::disk_slots(paths, instances, slots, failure));
  for (const samplers::DiskSlot& slot : slots) {
    EXPECT_EQ(slot.instance, slot.path < 23 ? 0 : 1) << paths[slot.path];
  }
}

TEST(DiskInstanceTable, LimitsAndBrokenPaths) {
  std::vector<std::string> paths;
  for (int i = 0; i < 100; ++i)
    paths.push_back("\\LogicalDisk(D" + std::to_string(i) + ")\\% Disk Time");
  std::vector<std::string> instances;
  std::string failure;
  EXPECT_TRUE(samplers::disk_instances(paths, instances, failure));
  EXPECT_EQ(instances.size(), 100u);

  paths.push_back("\\LogicalDisk(D100)\\% Disk Time");
  EXPECT_FALSE(samplers::disk_instances(paths, instances, failure));
  EXPECT_EQ(failure, "Perfmon: Too many logical disks\n");

  std::vector<std::string> many(501, "\\LogicalDisk(C:)\\Free Megabytes");
  failure.clear();
  EXPECT_FALSE(samplers::disk_instances(many, instances, failure));
  EXPECT_EQ(failure, "Perfmon: Too many logical disks\n");

  EXPECT_FALSE(samplers::disk_instances({"\\LogicalDisk\\% Disk Time"}, instances, failure));
  EXPECT_EQ(failure, "Perfmon: ldisk instance name not found: \\LogicalDisk\\% Disk Time\n");

  // A counter of a disk that has no "% Disk Time" path.
  std::vector<std::string> orphan = {"\\LogicalDisk(C:)\\% Disk Time",
                                     "\\LogicalDisk(E:)\\Disk Reads/sec"};
  std::vector<samplers::DiskSlot> slots;
  ASSERT_TRUE(samplers::disk_instances(orphan, instances, failure));
  EXPECT_FALSE(samplers::disk_slots(orphan, instances, slots, failure));
  EXPECT_EQ(failure, "Perfmon: Failed to find instance for \\LogicalDisk(E:)\\Disk Reads/sec\n");
}

struct HostCountersRun : ::testing::Test {
  void TearDown() override { fs::remove_all(scratch_dir()); }
};

bool real_sleep(int ms) {
  platform::sleep_ms(ms);
  return true;
}

const std::regex kSystemRow(R"(\d+ s(\t *-?\d+){11})");
const std::regex kDiskRow(R"( *\S+ \d+s( *-?\d+(\.\d+)?){18})");

TEST_F(HostCountersRun, SystemFileOnThisHost) {
  fs::path file = scratch_file("system_perfmon.out");
  samplers::run_host_counters("system", file.string(), 1, 2, false, real_sleep);
  std::vector<std::string> lines = read_lines(file);
  ASSERT_EQ(lines.size(), 11u + 1 + 2);
  for (int column = 0; column < samplers::kSystemColumns; ++column) {
    const samplers::SystemColumn& spec = samplers::system_columns()[column];
    EXPECT_EQ(lines[column],
              samplers::legend_line(spec.title, platform::counters::counter_source(spec.path)));
  }
  EXPECT_EQ(lines[11], samplers::system_header());
  EXPECT_TRUE(std::regex_match(lines[12], kSystemRow)) << lines[12];
  EXPECT_TRUE(std::regex_match(lines[13], kSystemRow)) << lines[13];
  EXPECT_EQ(lines[12].substr(0, 4), "0 s\t");
  EXPECT_EQ(lines[13].substr(0, 4), "1 s\t");
}

TEST_F(HostCountersRun, LogicalDiskFileOnThisHost) {
  std::vector<std::string> paths;
  platform::counters::Status status = 0;
  ASSERT_TRUE(platform::counters::expand_path("\\LogicalDisk(*/*#*)\\*", paths, status));
  const size_t disks = paths.size() / samplers::kDiskColumns;

  fs::path file = scratch_file("ldisk_perfmon.out");
  samplers::run_host_counters("ldisk", file.string(), 1, 2, false, real_sleep);
  std::vector<std::string> lines = read_lines(file);
  ASSERT_EQ(lines.size(), 18 + 2 * (1 + disks));
  EXPECT_EQ(lines[3], samplers::legend_line(
                          "aQL", platform::counters::counter_source("Avg. Disk Queue Length")));
  for (size_t pass = 0; pass < 2; ++pass) {
    const size_t header = 18 + pass * (1 + disks);
    EXPECT_EQ(lines[header], samplers::disk_header());
    for (size_t disk = 1; disk <= disks; ++disk) {
      EXPECT_TRUE(std::regex_match(lines[header + disk], kDiskRow)) << lines[header + disk];
      EXPECT_NE(lines[header + disk].find(" " + std::to_string(pass) + "s "), std::string::npos);
    }
  }
}

TEST_F(HostCountersRun, StopEndsTheSamplerBeforeItsRows) {
  fs::path file = scratch_file("stopped.out");
  int sleeps = 0;
  samplers::run_host_counters("system", file.string(), 5, 10, false, [&](int) {
    ++sleeps;
    return false;
  });
  EXPECT_EQ(sleeps, 1);
  EXPECT_EQ(read_lines(file).size(), 12u);  // legend and header only
}

TEST_F(HostCountersRun, OtherSetsWriteNothing) {
  fs::path file = scratch_file("other.out");
  samplers::run_host_counters("System", file.string(), 1, 1, false, real_sleep);
  EXPECT_FALSE(fs::exists(file));
}

TEST_F(HostCountersRun, WriteFailureIsSaidOnceAndEndsTheSampler) {
  fs::path file = scratch_file("missing_dir") / "system_perfmon.out";
  int sleeps = 0;
  testing::internal::CaptureStderr();
  samplers::run_host_counters("system", file.string(), 1, 3, false, [&](int) {
    ++sleeps;
    return true;
  });
  const std::string errors = testing::internal::GetCapturedStderr();
  const std::string message =
      "ERROR: Unable to write " + file.string() + ": No such file or directory\n";
  EXPECT_EQ(errors, message);
  EXPECT_EQ(sleeps, 0);
}

}  // namespace
