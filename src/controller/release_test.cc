#include "controller/release.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "core/messages.h"
#include "core/state.h"
#include "platform/platform.h"

namespace {

class ParseRelease : public ::testing::Test {
 protected:
  void SetUp() override {
    core::reset_state();
    core::state().options.quiet = true;
  }
};

TEST_F(ParseRelease, VersionRepliesGiveMajorMinorPatch) {
  EXPECT_EQ(controller::parse_release("Corvex Release 7.3.5: Mon Oct 1 2012", false), 735);
  EXPECT_EQ(controller::parse_release("Corvex Release 7.0.8", false), 708);
  EXPECT_EQ(controller::parse_release("Corvex Release 6.4", false), 640);
  EXPECT_EQ(controller::parse_release("Corvex Release 10.0", false), 1000);
  EXPECT_EQ(controller::parse_release("Corvex Release 7.2.4P1: Tue", false), 724);
}

TEST_F(ParseRelease, PartsAreNotRangeChecked) {
  EXPECT_EQ(controller::parse_release("Release 7.0.10", false), 710);
  EXPECT_EQ(controller::parse_release("Release 7.1", false), 710);
}

TEST_F(ParseRelease, NumbersUseAutomaticBase) {
  EXPECT_EQ(controller::parse_release("Release 0x7.1", false), 710);
  // "08" reads as octal 0 stopped by '8', so no patch follows.
  EXPECT_EQ(controller::parse_release("Release 7.08", false), 700);
}

TEST_F(ParseRelease, UnknownShapesGiveZero) {
  EXPECT_EQ(controller::parse_release("Release 8", false), 0);
  EXPECT_EQ(controller::parse_release("Corvex 7.3.5", false), 0);
  EXPECT_EQ(controller::parse_release("", false), 0);
  EXPECT_EQ(controller::parse_release("Release 7.3", true), 0);
}

TEST_F(ParseRelease, NumbersThatDoNotFitAreUnknown) {
  EXPECT_EQ(controller::parse_release("Corvex Release 99999999999999999999.1", false), 0);
  EXPECT_EQ(controller::parse_release("Corvex Release 7.99999999999999999.1", false), 0);
  EXPECT_EQ(controller::parse_release("Release 7.3.99999999999999999999", false), 0);
  EXPECT_EQ(controller::parse_release("Release 21474836.4.8", false), 0);
  EXPECT_EQ(controller::parse_release("Release -7.3.5", false), 0);
  EXPECT_EQ(controller::parse_release("MERIX7.-3", true), 0);
  // The largest number that still fits.
  EXPECT_EQ(controller::parse_release("Release 21474836.4.7", false), 2147483647);
}

TEST_F(ParseRelease, ForcedReleaseStringsFollowTheProductWord) {
  EXPECT_EQ(controller::parse_release("MERIX7.3", true), 730);
  EXPECT_EQ(controller::parse_release("MERIX7.3.5", true), 735);
  EXPECT_EQ(controller::parse_release("MERIX", true), 0);
}

TEST_F(ParseRelease, CodeWordsWinInTableOrder) {
  EXPECT_EQ(controller::parse_release("Corvex Release oystercatcher 9.9.9", false), 723);
  EXPECT_EQ(controller::parse_release("dunlin and redshank", false), 730);
  EXPECT_EQ(controller::parse_release("RGreyHeron build", true), 810);
  EXPECT_EQ(controller::parse_release("sandpiper", false), 656);
  EXPECT_EQ(controller::parse_release("kittiwake", false), 706);
}

TEST(ParseReleaseMessages, UnknownVersionIsReportedUnlessQuiet) {
  core::reset_state();
  testing::internal::CaptureStderr();
  EXPECT_EQ(controller::parse_release("garbage", false), 0);
  std::string said = testing::internal::GetCapturedStderr();
  EXPECT_EQ(said, "Unknown version.  Using default command set\ngarbage\n");

  core::state().options.quiet = true;
  testing::internal::CaptureStderr();
  controller::parse_release("garbage", false);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

}  // namespace

// ---------------------------------------------------------------- mapping

namespace {

namespace fs = std::filesystem;

// A controller record as set-up leaves it before its release is mapped, an
// error log in a private folder, and the run's stdout/stderr captured.
class MapRelease : public ::testing::Test {
 protected:
  void SetUp() override {
    core::reset_state();
    core::state().options.quiet = true;
    folder = fs::temp_directory_path() /
             ("kestrel_release_test_" + std::to_string(platform::current_process_id()));
    fs::create_directories(folder);
    core::state().error_log_path = (folder / "error.log").string();
    filer.name = "f1";
    filer.vrs_rebuild = true;
    filer.stats_enabled = false;
    filer.domain_stats = true;
    filer.sktrace_off = false;
  }
  void TearDown() override { fs::remove_all(folder); }

  // Applies a version line; returns what went to standard output.
  std::string apply(const std::string& version_line) {
    testing::internal::CaptureStdout();
    controller::apply_release(filer, version_line);
    return testing::internal::GetCapturedStdout();
  }
  std::string apply_number(int n) {
    return apply(
        core::format("Corvex Release %d.%d.%d: Mon Jan 1 2024", n / 100, n / 10 % 10, n % 10));
  }
  std::string log_text() {
    std::ifstream in(core::state().error_log_path);
    std::stringstream all;
    all << in.rdbuf();
    return all.str();
  }

  fs::path folder;
  core::FilerTarget filer;
};

TEST_F(MapRelease, LadderTakesTheLargestRungAtOrBelow) {
  EXPECT_EQ(controller::ladder_release(0), "MERIX");
  EXPECT_EQ(controller::ladder_release(649), "MERIX");
  EXPECT_EQ(controller::ladder_release(650), "MERIX6.5");
  EXPECT_EQ(controller::ladder_release(655), "MERIX6.5");
  EXPECT_EQ(controller::ladder_release(699), "MERIX6.5.6");
  EXPECT_EQ(controller::ladder_release(708), "MERIX7.0.7");
  EXPECT_EQ(controller::ladder_release(709), "MERIX7.0.7");
  EXPECT_EQ(controller::ladder_release(733), "MERIX7.3.2");
  EXPECT_EQ(controller::ladder_release(740), "MERIX7.3.5");
  EXPECT_EQ(controller::ladder_release(811), "MERIX8.1.1");
  EXPECT_EQ(controller::ladder_release(999), "MERIX8.1.1");
  EXPECT_EQ(controller::ladder_release(1000), "MERIX10.0");
  EXPECT_EQ(controller::ladder_release(1500), "MERIX10.0");
}

TEST_F(MapRelease, VersionLinesGiveTheReleaseLine) {
  EXPECT_EQ(apply("Corvex Release 7.3.5: Mon Oct 1 2012"), "FILEROS,\tf1,\tMERIX7.3.5\n");
  EXPECT_EQ(filer.release_number, 735);
  EXPECT_EQ(apply("Corvex Release 7.0.8"), "FILEROS,\tf1,\tMERIX7.0.7\n");
  EXPECT_EQ(filer.release, "MERIX7.0.7");
  EXPECT_EQ(filer.release_number, 708);
  EXPECT_EQ(apply("Corvex Release 6.4"), "FILEROS,\tf1,\tMERIX\n");
  EXPECT_EQ(filer.release_number, 640);
  EXPECT_EQ(apply("Corvex Release 9.2"), "FILEROS,\tf1,\tMERIX8.1.1\n");
  EXPECT_EQ(filer.release_number, 920);
  EXPECT_EQ(apply("Corvex Release 10.0"), "FILEROS,\tf1,\tMERIX10.0\n");
  EXPECT_EQ(filer.release_number, 1000);
}

TEST_F(MapRelease, CodeWordsAndUnknownReplies) {
  EXPECT_EQ(apply("Corvex Release oystercatcher 9.9"), "FILEROS,\tf1,\tMERIX7.2.3\n");
  EXPECT_EQ(filer.release_number, 723);
  EXPECT_EQ(apply("Corvex Release RGreyHeron"), "FILEROS,\tf1,\tMERIX8.1\n");
  // An unknown or empty reply still prints the release line, with "MERIX".
  EXPECT_EQ(apply("Corvex Release 8"), "FILEROS,\tf1,\tMERIX\n");
  EXPECT_EQ(filer.release_number, 0);
  EXPECT_EQ(apply(""), "FILEROS,\tf1,\tMERIX\n");
}

TEST_F(MapRelease, ForcedReleaseIsTakenAsGivenWithoutReleaseLine) {
  core::state().options.forced_os = "MERIX7.3";
  EXPECT_EQ(apply("Corvex Release 6.5"), "");
  EXPECT_EQ(filer.release, "MERIX7.3");
  EXPECT_EQ(filer.release_number, 730);
  EXPECT_TRUE(filer.sktrace_off);
  EXPECT_TRUE(filer.domain_stats);

  // Off the ladder: the text stays as it is.
  core::state().options.forced_os = "MERIX7.0.9";
  EXPECT_EQ(apply(""), "");
  EXPECT_EQ(filer.release, "MERIX7.0.9");
  EXPECT_EQ(filer.release_number, 709);
}

TEST_F(MapRelease, DebugLineNamesTheMapping) {
  core::state().options.debug = true;
  testing::internal::CaptureStderr();
  apply("Corvex Release 7.3.5");
  std::string said = testing::internal::GetCapturedStderr();
  EXPECT_NE(said.find("DEBUG: MERIX on f1 mapped to MERIX7.3.5\n"), std::string::npos) << said;
  EXPECT_NE(said.find("DEBUG: Enabling stats data collection on: f1\n"), std::string::npos);
  EXPECT_NE(said.find("DEBUG: Enable collection of all stats data on: f1\n"), std::string::npos);
}

struct SwitchCase {
  int n;
  bool stats_enabled;
  bool domain_stats;
  bool legacy_stats;  // selective stats (branch 3b)
  bool sktrace_off;
};

TEST_F(MapRelease, SwitchesAtEveryBoundary) {
  const SwitchCase cases[] = {
      {705, true, false, true, false},  {706, true, false, false, false},
      {709, true, false, false, false}, {710, true, false, true, false},
      {712, true, false, true, false},  {713, true, false, false, false},
      {719, true, false, false, false}, {720, true, false, true, false},
      {721, true, false, true, false},  {722, true, false, false, false},
      {729, true, false, false, false}, {730, true, true, false, true},
      {731, true, true, false, true},   {732, true, true, false, false},
      {704, false, false, true, false}, {1000, true, true, false, false},
  };
  for (const SwitchCase& c : cases) {
    SCOPED_TRACE(c.n);
    filer.vrs_rebuild = true;
    filer.stats_enabled = false;
    filer.domain_stats = true;
    filer.sktrace_off = false;
    apply_number(c.n);
    EXPECT_EQ(filer.release_number, c.n);
    EXPECT_EQ(filer.stats_enabled, c.stats_enabled);
    EXPECT_EQ(filer.domain_stats, c.domain_stats);
    EXPECT_EQ(filer.legacy_stats, c.legacy_stats);
    // Controllers that collect all stats keep their exclusion list themselves.
    EXPECT_EQ(filer.vrs_rebuild, c.legacy_stats);
    EXPECT_EQ(filer.sktrace_off, c.sktrace_off);
    EXPECT_EQ(filer.statit_mode, 0);
  }
}

TEST_F(MapRelease, SwitchesWriteTheErrorLog) {
  apply_number(706);
  std::string log = log_text();
  size_t rebuild = log.find(" : Disabling frequent VRS exclusion list rebuilding on: f1\n");
  size_t all = log.find(" : Enable collection of all stats data on: f1\n");
  ASSERT_NE(rebuild, std::string::npos) << log;
  ASSERT_NE(all, std::string::npos) << log;
  EXPECT_LT(rebuild, all);
  EXPECT_EQ(log.find("legacy_mode"), std::string::npos);

  fs::remove(core::state().error_log_path);
  apply_number(721);
  log = log_text();
  EXPECT_NE(log.find(" : Enable selective stats objects (legacy_mode) on: f1\n"),
            std::string::npos);
  EXPECT_EQ(log.find("Disabling frequent"), std::string::npos);
}

TEST_F(MapRelease, CriticalOnlyForcesSelectiveStats) {
  core::state().options.critical_only = true;
  core::state().options.debug = true;
  testing::internal::CaptureStderr();
  apply_number(735);
  std::string said = testing::internal::GetCapturedStderr();
  EXPECT_TRUE(filer.legacy_stats);
  EXPECT_FALSE(filer.vrs_rebuild);
  EXPECT_NE(said.find("DEBUG: Enable selective stats objects (legacy_mode) on the stressed "
                      "filer: f1\n"),
            std::string::npos)
      << said;
  EXPECT_NE(log_text().find(" : Enable selective stats objects (legacy_mode) on: f1\n"),
            std::string::npos);
}

TEST_F(MapRelease, ShortStatitOnlyOnItsReleasesAndNoneInLongRuns) {
  core::RunOptions& o = core::state().options;
  o.quiet = false;
  o.iterations = 10;
  o.iter_interval = 90;
  o.sample_minutes = 10;  // (90 + 10) * 10 = 1000 minutes: not a long run
  for (const char* line : {"Corvex Release 7.0", "Corvex Release 7.0.2", "Corvex Release 6.4"}) {
    SCOPED_TRACE(line);
    testing::internal::CaptureStderr();
    apply(line);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(filer.statit_mode, 1);
  }
  apply("Corvex Release 7.0.1");
  EXPECT_EQ(filer.statit_mode, 0);
  apply("Corvex Release 7.3");
  EXPECT_EQ(filer.statit_mode, 0);

  o.sample_minutes = 11;  // 1010 minutes
  testing::internal::CaptureStderr();
  apply("Corvex Release 7.0");
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "Long kestrel requested; disabling statit on f1\n");
  EXPECT_EQ(filer.statit_mode, 2);
  EXPECT_NE(log_text().find(" : Long kestrel requested; disabling statit on: f1 >> 1010 minutes\n"),
            std::string::npos)
      << log_text();

  o.quiet = true;
  testing::internal::CaptureStderr();
  apply("Corvex Release 6.4");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(filer.statit_mode, 2);

  // A forced plain "MERIX" is such a release too.
  o.forced_os = "MERIX";
  o.sample_minutes = 1;
  apply("");
  EXPECT_EQ(filer.statit_mode, 1);
}

}  // namespace
