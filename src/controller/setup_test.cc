#include "controller/setup.h"

#include <gtest/gtest.h>

namespace {

TEST(VersionReply, OnlyTheFirstLineCounts) {
  EXPECT_TRUE(controller::version_reply_answers({"Corvex Release 7.3.5: Mon"}));
  EXPECT_TRUE(controller::version_reply_answers({"MERIX 7.0 build", "junk"}));
  EXPECT_FALSE(controller::version_reply_answers({"rsh: connection refused", "Corvex Release 7"}));
  EXPECT_FALSE(controller::version_reply_answers({}));
  EXPECT_FALSE(controller::version_reply_answers({""}));
  EXPECT_FALSE(controller::version_reply_answers({"corvex release 7.3"}));
}

TEST(PrivilegeWords, ChosenFromTheHelpList) {
  controller::PrivilegeWords both = controller::privilege_words({"aggr cifs", "priv statit"});
  EXPECT_EQ(both.prefix, "");
  EXPECT_EQ(both.suffix, "");

  controller::PrivilegeWords priv = controller::privilege_words({"aggr cifs", "priv  vol"});
  EXPECT_EQ(priv.prefix, "priv set -q diag ;");
  EXPECT_EQ(priv.suffix, "");

  controller::PrivilegeWords basic = controller::privilege_words({"aggr cifs", "vol"});
  EXPECT_EQ(basic.prefix, "rc_toggle_basic ;");
  EXPECT_EQ(basic.suffix, "; rc_toggle_basic");
  EXPECT_EQ(controller::privilege_words({}).prefix, "rc_toggle_basic ;");
}

}  // namespace
