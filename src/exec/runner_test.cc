#include "exec/runner.h"

#include <gtest/gtest.h>

#include "core/state.h"

namespace {

class MaskPassword : public ::testing::Test {
 protected:
  void SetUp() override { core::reset_state(); }
};

TEST_F(MaskPassword, EmptyPasswordLeavesTextAlone) {
  EXPECT_EQ(exec::mask_password("plink.exe -pw  -l root c1 "), "plink.exe -pw  -l root c1 ");
}

TEST_F(MaskPassword, EveryOccurrenceBecomesAsterisksOfEqualLength) {
  core::state().options.password = "s3cret";
  EXPECT_EQ(exec::mask_password("plink.exe -ssh -pw s3cret -l root:s3cret c1 \"version\""),
            "plink.exe -ssh -pw ****** -l root:****** c1 \"version\"");
}

TEST_F(MaskPassword, PasswordInsideOtherWordsIsMaskedToo) {
  core::state().options.password = "ab";
  EXPECT_EQ(exec::mask_password("fabab cab"), "f**** c**");
}

TEST_F(MaskPassword, PasswordThatIsAsterisksDoesNotLoop) {
  core::state().options.password = "**";
  EXPECT_EQ(exec::mask_password("x****y"), "x****y");
}

TEST_F(MaskPassword, EverySecretOfTheCommandLineIsMasked) {
  core::state().options.password = "Sekr1tPW";
  core::state().options.secrets = {"Sekr1tPW", "SECONDpw2", "third"};
  EXPECT_EQ(exec::mask_password("plink -pw Sekr1tPW -l root:SECONDpw2 c1 \"third\""),
            "plink -pw ******** -l root:********* c1 \"*****\"");
}

TEST_F(MaskPassword, SecretsInsideOrAcrossOthersAreCoveredWhole) {
  // One inside another, in either order of the list.
  core::state().options.secrets = {"abc", "xabcx"};
  EXPECT_EQ(exec::mask_password("-xabcx-abc-"), "-*****-***-");
  core::state().options.secrets = {"xabcx", "abc"};
  EXPECT_EQ(exec::mask_password("-xabcx-abc-"), "-*****-***-");
  // Overlapping: neither may leave a piece of the other readable.
  core::state().options.secrets = {"abcd", "cdef"};
  EXPECT_EQ(exec::mask_password("abcdef"), "******");
  // Overlapping occurrences of one secret.
  core::state().options.secrets = {"aba"};
  EXPECT_EQ(exec::mask_password("ababa"), "*****");
}

TEST(Exclusion, FirstMatchingPatternInCommandLineOrderWins) {
  core::reset_state();
  core::state().options.exclude_patterns = {"snap", "vol"};
  const std::string* hit = exec::matching_exclusion("rsh.exe c1 -l root -n \" vol status \"");
  ASSERT_NE(hit, nullptr);
  EXPECT_EQ(*hit, "vol");
  hit = exec::matching_exclusion("snap list vol0");
  ASSERT_NE(hit, nullptr);
  EXPECT_EQ(*hit, "snap");
  EXPECT_EQ(exec::matching_exclusion("sysconfig -a"), nullptr);
}

TEST(Exclusion, MatchIsCaseSensitive) {
  core::reset_state();
  core::state().options.exclude_patterns = {"Snap"};
  EXPECT_EQ(exec::matching_exclusion("snap list"), nullptr);
}

}  // namespace
