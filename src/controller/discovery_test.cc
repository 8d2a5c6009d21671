#include "controller/discovery.h"

#include <gtest/gtest.h>

#include "core/state.h"

namespace {

using Lines = std::vector<std::string>;

TEST(VzoneNames, DefaultAndItsLookalikesAreSkipped) {
  Lines reply = {"vzone0                           running    ipspace: default-ipspace",
                 "vz1 running",
                 "",
                 "   ",
                 "myvzone01 running",
                 "vz2 stopped"};
  EXPECT_EQ(controller::vzone_names(reply), (Lines{"vz1", "vz2"}));
}

TEST(VzoneNames, LicenceNoticesEndTheList) {
  EXPECT_EQ(controller::vzone_names({"vzone: zonepack not licensed", "vz1 running"}), Lines{});
  EXPECT_EQ(controller::vzone_names({"vz1 running", "see the zonepack license", "vz2 running"}),
            Lines{"vz1"});
  EXPECT_EQ(controller::vzone_names({}), Lines{});
}

TEST(VzoneRootPaths, PathsFollowTheFirstName) {
  Lines reply = {"vzone0 running",
                 "    Path: / [/etc]",
                 "vz1 running",
                 "    Path: /vol/vz1root [/etc]",
                 "    Path: /vol/vz1_data",
                 "    IP address: 192.0.2.30 e0a",
                 "vz2 running",
                 "    Path: /vol/vz2root [/etc]",
                 "    Path:"};
  EXPECT_EQ(controller::vzone_root_paths(reply, "vz1"), (Lines{"/vol/vz1root", "/vol/vz2root"}));
  EXPECT_EQ(controller::vzone_root_paths(reply, "absent"), Lines{});
  // The naming line itself is not examined.
  EXPECT_EQ(controller::vzone_root_paths({"vz1 Path: /x [/etc]", "Path: /y etc"}, "vz1"),
            Lines{"/y"});
}

TEST(PairVzones, OnePairPerRootPath) {
  std::vector<core::VirtualController> vzones =
      controller::pair_vzones("f1", {"vz1", "vz2"}, {"/vol/vz1root"});
  ASSERT_EQ(vzones.size(), 1u);
  EXPECT_EQ(vzones[0].name, "vz1");
  EXPECT_EQ(vzones[0].root_path, "/vol/vz1root");
  // A path without a name has nothing to run under.
  EXPECT_EQ(controller::pair_vzones("f1", {"vz1"}, {"/a", "/b"}).size(), 1u);
}

TEST(PairVzones, UnsafeEntriesAreLeftOutWithAWarning) {
  testing::internal::CaptureStderr();
  std::vector<core::VirtualController> vzones = controller::pair_vzones(
      "unsafe1", {"vz1", "bad\"name", "vz3"}, {"/vol/a", "/vol/b", "/vol/c;reboot"});
  std::string said = testing::internal::GetCapturedStderr();
  ASSERT_EQ(vzones.size(), 1u);
  EXPECT_EQ(vzones[0].name, "vz1");
  EXPECT_NE(said.find("WARNING: unsafe1: virtual controller \"bad\"name\""), std::string::npos)
      << said;
  EXPECT_NE(said.find("unsafe1: virtual controller root path \"/vol/c;reboot\""), std::string::npos)
      << said;
}

TEST(PairVzones, KeepsTheFirst100AndSaysSoOnce) {
  Lines names;
  Lines paths;
  for (int i = 0; i < 130; ++i) {
    names.push_back("vz" + std::to_string(i));
    paths.push_back("/vol/r" + std::to_string(i));
  }
  testing::internal::CaptureStderr();
  std::vector<core::VirtualController> vzones = controller::pair_vzones("many1", names, paths);
  std::string said = testing::internal::GetCapturedStderr();
  ASSERT_EQ(vzones.size(), controller::kMaxVzones);
  EXPECT_EQ(vzones.back().name, "vz99");
  EXPECT_EQ(vzones.back().root_path, "/vol/r99");
  EXPECT_EQ(said,
            "WARNING: many1 has more than 100 virtual controllers; only the first 100 are "
            "captured\n");

  names.resize(100);
  testing::internal::CaptureStderr();
  EXPECT_EQ(controller::pair_vzones("hundred1", names, paths).size(), 100u);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST(VifNames, VifTypeLinesExceptDefault) {
  Lines reply = {"default: transmit 'IP Based', VIF Type 'multi_mode', fail 'log'",
                 "vif0: 2 links, transmit 'IP Based' VIF Type 'multi_mode' fail 'log'",
                 "        VIF Status      Up      Addr_set",
                 "        e0a: state up, since 01Dec2025 09:00:00",
                 "vif1: 2 links, VIF Type 'single_mode'"};
  EXPECT_EQ(controller::vif_names("f1", reply), (Lines{"vif0", "vif1"}));
}

TEST(VifNames, UnsafeNamesAndCap) {
  testing::internal::CaptureStderr();
  Lines names = controller::vif_names("vifs1", {"../x/y: VIF Type 'multi'", "v a: VIF Type 'x'"});
  std::string said = testing::internal::GetCapturedStderr();
  EXPECT_EQ(names, Lines{});
  EXPECT_NE(said.find("\"../x/y\""), std::string::npos) << said;
  EXPECT_NE(said.find("\"v a\""), std::string::npos) << said;

  Lines reply;
  for (int i = 0; i < 101; ++i) reply.push_back("vif" + std::to_string(i) + ": VIF Type 'x'");
  testing::internal::CaptureStderr();
  names = controller::vif_names("vifs2", reply);
  said = testing::internal::GetCapturedStderr();
  ASSERT_EQ(names.size(), controller::kMaxVifs);
  EXPECT_EQ(names.back(), "vif99");
  EXPECT_EQ(said,
            "WARNING: vifs2 has more than 100 virtual interfaces; only the first 100 are "
            "sampled\n");
}

}  // namespace
