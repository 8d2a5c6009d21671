#include "exec/slow_log.h"

#include <gtest/gtest.h>

#include "core/state.h"

namespace {

class SlowLog : public ::testing::Test {
 protected:
  void SetUp() override { core::reset_state(); }
};

TEST_F(SlowLog, ThresholdIsSixtySecondsInclusive) {
  core::state().iteration = 3;
  exec::note_command_time("ipconfig /all", "HOST", 59);
  exec::note_command_time("sysconfig -a", "c1", 60);
  ASSERT_EQ(core::state().slow_commands.size(), 1u);
  const core::SlowCommand& entry = core::state().slow_commands[0];
  EXPECT_EQ(entry.command, "sysconfig -a");
  EXPECT_EQ(entry.target, "c1");
  EXPECT_EQ(entry.iteration, 3);
  EXPECT_EQ(entry.seconds, 60);
}

TEST_F(SlowLog, SameCommandInTwoIterationsGivesTwoEntries) {
  core::state().iteration = 1;
  exec::note_command_time("vol status", "c1", 61);
  core::state().iteration = 3;
  exec::note_command_time("vol status", "c1", 75);
  ASSERT_EQ(core::state().slow_commands.size(), 2u);
  EXPECT_EQ(core::state().slow_commands[0].iteration, 1);
  EXPECT_EQ(core::state().slow_commands[1].iteration, 3);
}

TEST_F(SlowLog, EntriesBeyondCapacityAreDropped) {
  for (size_t i = 0; i < exec::kSlowCommandCapacity + 5; ++i) {
    exec::add_slow_command("cmd" + std::to_string(i), "c1", 1, 90);
  }
  ASSERT_EQ(core::state().slow_commands.size(), exec::kSlowCommandCapacity);
  EXPECT_EQ(core::state().slow_commands.back().command,
            "cmd" + std::to_string(exec::kSlowCommandCapacity - 1));
}

}  // namespace
