#include "phases/stats_presets.h"

#include <gtest/gtest.h>

#include <regex>
#include <sstream>

#include "core/state.h"
#include "platform/platform.h"

namespace {

std::string split(const std::string& capture, int seconds = 125) {
  std::istringstream in(capture);
  phases::PresetHeader header{"c1", 1700000000, "Mon Dec 07 18:20:01 GMT 2026", seconds};
  std::FILE* out = std::tmpfile();
  phases::split_stats_capture(in, header, out);
  std::rewind(out);
  std::string text;
  for (int c; (c = std::fgetc(out)) != EOF;) text += static_cast<char>(c);
  std::fclose(out);
  return text;
}

std::string header_for(const std::string& preset) {
  return "\nKESTREL_EPOCH: 1700000000\n\n=-=-=-=-=-= PERF c1 POSTSTATS =-=-=-=-=-= stats stop -I " +
         preset + "\nTIME: Mon Dec 07 18:20:01 GMT 2026\nTIME_DELTA: 02:05 (125s)\n";
}

TEST(StatsSplitter, AnnouncesEachObjectWithItsPresetName) {
  std::string capture =
      "StatisticsID: kestrel_stats_1700000000\n"
      "volume:vol0:read_ops:12/s\n"
      "volume:vol0:write_ops:3/s\n"
      "nfsv3:nfs:nfsv3_ops:40/s\n"
      "processor:processor0:processor_busy:7%\n";
  std::string expected =
      header_for("kestrel_vol") + "volume:vol0:read_ops:12/s\nvolume:vol0:write_ops:3/s\n" +
      header_for("kestrel_nfs") + "nfsv3:nfs:nfsv3_ops:40/s\n" + header_for("kestrel_processor") +
      "processor:processor0:processor_busy:7%\n";
  EXPECT_EQ(split(capture), expected);
}

TEST(StatsSplitter, ArrayCountersGiveOneLinePerElement) {
  std::string capture =
      "disk:d1:disk_busy:5%\n"
      "disk:d1:io_pending:\n"
      "\tread: 4\n"
      "\twrite:9\n";
  EXPECT_EQ(split(capture), header_for("kestrel_disk") +
                                "disk:d1:disk_busy:5%\n"
                                "disk:d1:io_pending.read:4\n"
                                "disk:d1:io_pending.write:9\n");
}

TEST(StatsSplitter, ArrayOfANewObjectAnnouncesIt) {
  std::string capture =
      "system:system:cpu_busy:1%\n"
      "ifnet:e0a:recv_errors:\n"
      "\tcrc:0\n";
  EXPECT_EQ(split(capture), header_for("kestrel_system") + "system:system:cpu_busy:1%\n" +
                                header_for("kestrel_ifnet") + "ifnet:e0a:recv_errors.crc:0\n");
}

TEST(StatsSplitter, ReturningObjectIsAnnouncedAgainAndMarkersDropped) {
  std::string capture =
      "volume:v:a:1\n"
      "=-=-=-=-=-= stray marker\n"
      "cifs:c:b:2\n"
      "volume:v:c:3\n";
  EXPECT_EQ(split(capture), header_for("kestrel_vol") + "volume:v:a:1\n" +
                                header_for("kestrel_cifs") + "cifs:c:b:2\n" +
                                header_for("kestrel_vol") + "volume:v:c:3\n");
}

TEST(StatsSplitter, ErrorTextOfTheControllerIsKept) {
  EXPECT_EQ(
      split("Instance kestrel_stats_1 not found\n", 59),
      "\nKESTREL_EPOCH: 1700000000\n\n=-=-=-=-=-= PERF c1 POSTSTATS =-=-=-=-=-= stats stop -I "
      "kestrel_Instance kestrel_stats_1 not found\nTIME: Mon Dec 07 18:20:01 GMT 2026\n"
      "TIME_DELTA: 00:59 (59s)\nInstance kestrel_stats_1 not found\n");
}

TEST(PresetName, OnlyNfsAndVolumeAreShortened) {
  EXPECT_EQ(phases::preset_name("nfsv3"), "kestrel_nfs");
  EXPECT_EQ(phases::preset_name("volume"), "kestrel_vol");
  EXPECT_EQ(phases::preset_name("aggregate"), "kestrel_aggregate");
}

class TimingHook : public ::testing::Test {
 protected:
  void SetUp() override {
    core::reset_state();
    core::state().filers.push_back(core::FilerTarget{});
    collection.filer = &core::state().filers[0];
    collection.services.legacy_stats = true;
  }
  std::string hook(const std::string& line) {
    testing::internal::CaptureStdout();
    phases::stats_timing_hook(collection, line);
    return testing::internal::GetCapturedStdout();
  }
  core::FilerTarget& filer() { return *collection.filer; }
  core::Collection collection;
};

TEST_F(TimingHook, StopOfAStartedInstanceGetsItsDelta) {
  std::string said = hook("rsh.exe c1 -l root -n \" stats start -I kestrel_vol volume \"");
  EXPECT_TRUE(std::regex_match(said, std::regex("TIME: .* GMT \\d{4}\n"))) << said;
  ASSERT_EQ(filer().started_stats.size(), 1u);
  EXPECT_EQ(filer().started_stats[0].name, "kestrel_vol");

  filer().started_stats[0].start = platform::now_epoch_seconds() - 125;
  said = hook("rsh.exe c1 -l root -n \" stats stop -I kestrel_vol \"");
  EXPECT_TRUE(std::regex_match(said, std::regex("TIME: .*\nTIME_DELTA: 2:5 \\(125s\\)\n"))) << said;
}

TEST_F(TimingHook, StopWithoutStartGetsOnlyTheTimeLine) {
  std::string said = hook("x \" stats stop -I kestrel_pri priorityqueue \"");
  EXPECT_TRUE(std::regex_match(said, std::regex("TIME: [^\n]*\n"))) << said;
}

TEST_F(TimingHook, OtherCommandsPrintNothing) {
  EXPECT_EQ(hook("rsh.exe c1 -l root -n \" sysconfig -a \""), "");
  EXPECT_TRUE(filer().started_stats.empty());
}

TEST_F(TimingHook, PrintsNothingOutsideLegacyStatsMode) {
  collection.services.legacy_stats = false;
  EXPECT_EQ(hook("rsh.exe c1 -l root -n \" stats start -I kestrel_vol volume \""), "");
  EXPECT_TRUE(filer().started_stats.empty());
}

TEST_F(TimingHook, InstanceNamesAreCutAtThirtyOneCharacters) {
  hook("stats start -I kestrel_a_very_long_instance_name_beyond_limit x");
  ASSERT_EQ(filer().started_stats.size(), 1u);
  EXPECT_EQ(filer().started_stats[0].name, "kestrel_a_very_long_instance_na");
}

}  // namespace
