#include "run/interrupt.h"

#include <gtest/gtest.h>

#include "core/state.h"
#include "platform/platform.h"

namespace run {
namespace {

TEST(ConsoleControlHandler, OtherEventsEndTheProcessWithoutTakingTheInterrupt) {
  core::reset_state();
  core::reset_interrupt();
  core::arm_interrupt_steps();
  EXPECT_EQ(console_ctrl_handler(platform::ControlEvent::kBreak),
            platform::ControlOutcome::kEndProcess);
  EXPECT_EQ(console_ctrl_handler(platform::ControlEvent::kClose),
            platform::ControlOutcome::kEndProcess);
  EXPECT_FALSE(core::interrupt_taken());
  EXPECT_EQ(core::claim_interrupt(), core::InterruptClaim::kEndRun);
  core::reset_interrupt();
  // The handler closed the registry of children; later tests start some.
  platform::reopen_child_registry_for_cleanup();
}

}  // namespace
}  // namespace run
