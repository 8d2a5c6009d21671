#include "controller/release.h"

#include <gtest/gtest.h>

#include "run/state.h"

namespace {

class ParseRelease : public ::testing::Test {
 protected:
  void SetUp() override {
    run::reset_state();
    run::state().options.quiet = true;
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
  run::reset_state();
  testing::internal::CaptureStderr();
  EXPECT_EQ(controller::parse_release("garbage", false), 0);
  std::string said = testing::internal::GetCapturedStderr();
  EXPECT_EQ(said, "Unknown version.  Using default command set\ngarbage\n");

  run::state().options.quiet = true;
  testing::internal::CaptureStderr();
  controller::parse_release("garbage", false);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

}  // namespace
