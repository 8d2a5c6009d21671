#include "phases/collections.h"

#include <gtest/gtest.h>

#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "controller/licenses.h"
#include "core/state.h"
#include "core/test_scratch.h"
#include "phases/catalogue.h"
#include "platform/platform.h"

namespace phases {
namespace {

class Collections : public ::testing::Test {
 protected:
  void SetUp() override {
    core::reset_state();
    core::RunState& st = core::state();
    st.temp_dir = "/scratch/";
    st.filers.resize(2);
    st.filers[0].name = "c1";
    st.filers[0].release = "MERIX7.0";
    st.filers[0].licenses_read = true;
    st.filers[0].services.svc_nfs = 1;
    st.filers[0].services.svc_zonepack = 1;
    st.filers[0].legacy_stats = true;
    st.filers[1].name = "c2";
    st.filers[1].release = "MERIX8.0";
    st.filers[1].licenses_read = true;
    st.filers[1].services.svc_cifs = 1;
    st.filers[1].cpu_class = 2;
    st.filers[1].legacy_stats = false;
  }
  void TearDown() override { core::reset_state(); }
};

void ignore(const core::Collection&, const std::string&) {}

// Two controllers' collections worked on in turns, as side-by-side workers
// do: neither sees the other's section, services or templates.
TEST_F(Collections, TwoUsedAlternatelyNeverSeeEachOther) {
  core::RunState& st = core::state();
  core::Collection first = filer_collection(st.filers[0], stdout, 0);
  core::Collection second = filer_collection(st.filers[1], stdout, 1);
  controller::read_licenses(first);
  controller::read_licenses(second);
  EXPECT_EQ(first.services.flags.svc_nfs, 1);
  EXPECT_EQ(first.services.flags.svc_cifs, 0);
  EXPECT_EQ(second.services.flags.svc_cifs, 1);
  EXPECT_EQ(second.services.flags.svc_nfs, 0);

  const auto first_steps = select_prestats_catalogue(st.filers[0], first.services, st.options);
  const auto second_steps = select_prestats_catalogue(st.filers[1], second.services, st.options);
  // Interleave the two step lists one step at a time.
  for (size_t i = 0; i < std::max(first_steps.size(), second_steps.size()); ++i) {
    if (i < first_steps.size()) perform_catalogue_steps(first, {first_steps[i]}, ignore);
    if (i < second_steps.size()) perform_catalogue_steps(second, {second_steps[i]}, ignore);
  }
  EXPECT_EQ(first.section, "PERF c1 PRESTATS");
  EXPECT_EQ(second.section, "PERF c2 PRESTATS");
  ASSERT_FALSE(first.vzone_config_templates.empty());  // zonepack: templates
  EXPECT_TRUE(second.vzone_config_templates.empty());  // no zonepack: none
  EXPECT_TRUE(second.vzone_perf_templates.empty());

  EXPECT_EQ(first.filer, &st.filers[0]);
  EXPECT_EQ(first.temp_files, &st.filers[0].temp_files);
  EXPECT_EQ(second.temp_files, &st.filers[1].temp_files);
}

TEST_F(Collections, EachReachesItsOwnControllerThroughItsOwnFiles) {
  core::RunState& st = core::state();
  st.filers[0].shell_prefix = "rsh.exe c1 -l root -n ";
  st.filers[1].shell_prefix = "rsh.exe c2 -l root -n ";
  const core::Collection lone = filer_collection(st.filers[0], stdout, kLoneCollection);
  const core::Collection first = filer_collection(st.filers[0], stdout, 0);
  const core::Collection second = filer_collection(st.filers[1], stdout, 1);
  EXPECT_EQ(lone.reply_path, "/scratch/tmp.out");
  EXPECT_EQ(lone.listing_path, "/scratch/lsout");
  EXPECT_EQ(first.reply_path, "/scratch/tmp-0.out");
  EXPECT_EQ(second.listing_path, "/scratch/lsout-1");
  EXPECT_NE(first.remote_command_line("version").find("c1"), std::string::npos);
  EXPECT_NE(second.remote_command_line("version").find("c2"), std::string::npos);
  EXPECT_EQ(second.remote_command_line("version").find("c1"), std::string::npos);
}

// The loop gives every controller one collection, in command-line order
// when run one at a time.
TEST_F(Collections, TheLoopVisitsEveryControllerOnceInOrder) {
  core::RunState& st = core::state();
  st.options.parallel = 1;
  std::vector<std::string> visited;
  for_each_filer([&](core::Collection& collection) { visited.push_back(collection.filer->name); });
  EXPECT_EQ(visited, (std::vector<std::string>{"c1", "c2"}));
}

// Side by side: the controllers that finish first still reach the report
// after those before them, each whole, and each collection had its own spool
// and reply files.
TEST_F(Collections, SideBySideTheReportKeepsCommandLineOrder) {
  core::RunState& st = core::state();
  const std::filesystem::path scratch = core::test_scratch("collections", "side_by_side");
  st.temp_dir = scratch.string() + "/";
  st.filers.resize(5);
  for (size_t i = 0; i < st.filers.size(); ++i) st.filers[i].name = "c" + std::to_string(i + 1);
  st.options.parallel = 3;
  std::mutex lock;
  std::set<std::string> reply_paths;
  std::set<std::FILE*> spools;
  ::testing::internal::CaptureStdout();
  for_each_filer([&](core::Collection& collection) {
    const int number = std::stoi(collection.filer->name.substr(1));
    // Later controllers finish first.
    platform::sleep_ms((6 - number) * 30);
    std::fprintf(collection.out, "BEGIN %s\n", collection.filer->name.c_str());
    platform::sleep_ms(5);
    std::fprintf(collection.out, "END %s\n", collection.filer->name.c_str());
    std::lock_guard<std::mutex> hold(lock);
    reply_paths.insert(collection.reply_path);
    spools.insert(collection.out);
  });
  EXPECT_EQ(::testing::internal::GetCapturedStdout(),
            "BEGIN c1\nEND c1\nBEGIN c2\nEND c2\nBEGIN c3\nEND c3\nBEGIN c4\nEND c4\n"
            "BEGIN c5\nEND c5\n");
  EXPECT_EQ(reply_paths.size(), 5u);
  EXPECT_EQ(spools.size(), 5u);
  EXPECT_EQ(spools.count(stdout), 0u);
  std::filesystem::remove_all(scratch);
}

}  // namespace
}  // namespace phases
