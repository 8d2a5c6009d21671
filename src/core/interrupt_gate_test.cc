#include "core/interrupt_gate.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "core/state.h"
#include "platform/threads.h"
#include "samplers/wait.h"

namespace core {
namespace {

void fresh_run(bool armed) {
  reset_state();
  reset_interrupt();
  if (armed) arm_interrupt_steps();
}

// Every test leaves no interrupt behind: later tests of the binary pass gates.
class InterruptTest : public ::testing::Test {
 protected:
  void TearDown() override {
    reset_interrupt();
    reset_state();
  }
};
using InterruptClaimTest = InterruptTest;
using InterruptRaceTest = InterruptTest;
using InterruptSleepTest = InterruptTest;
using InterruptGateTest = InterruptTest;

TEST_F(InterruptClaimTest, IsTakenOnceAndRunsTheStepsOnlyOnceArmed) {
  fresh_run(false);
  EXPECT_EQ(claim_interrupt(), InterruptClaim::kEndAtOnce);
  EXPECT_EQ(claim_interrupt(), InterruptClaim::kIgnore);

  fresh_run(true);
  EXPECT_FALSE(interrupt_taken());
  EXPECT_EQ(claim_interrupt(), InterruptClaim::kEndRun);
  EXPECT_TRUE(interrupt_taken());
  EXPECT_EQ(claim_interrupt(), InterruptClaim::kIgnore);
}

TEST_F(InterruptClaimTest, DuringTheSamplingWaitTakesThePoststatsAndStopsTheSamplers) {
  fresh_run(true);
  open_iteration_stop();
  platform::StopSignal* stop = state().background_threads.stop;
  ASSERT_NE(stop, nullptr);
  enter_sampling_wait();
  EXPECT_TRUE(state().in_sampling_wait);

  EXPECT_EQ(claim_interrupt(), InterruptClaim::kEndRunWithPoststats);
  EXPECT_FALSE(state().in_sampling_wait);
  EXPECT_TRUE(platform::stop_raised(stop));

  samplers::close_background_threads();
  EXPECT_EQ(state().background_threads.stop, nullptr);
}

TEST_F(InterruptClaimTest, OwesNoPoststatsOnceTheMainThreadTookIt) {
  fresh_run(true);
  enter_sampling_wait();
  leave_sampling_wait();
  EXPECT_EQ(claim_interrupt(), InterruptClaim::kEndRun);
}

TEST_F(InterruptClaimTest, IsConsumedWhileTheReportIsBeingClosed) {
  fresh_run(true);
  begin_shutdown();
  EXPECT_EQ(claim_interrupt(), InterruptClaim::kIgnore);
  EXPECT_FALSE(interrupt_taken());
}

// The end of the wait races the handler: whoever is first runs the
// iteration's poststats, the other does not, and a main thread that lost stays
// at its gate.
TEST_F(InterruptRaceTest, ThePoststatsIsRunOnceWhoeverComesFirst) {
  for (int round = 0; round < 40; ++round) {
    fresh_run(true);
    enter_sampling_wait();
    auto main_took = std::make_shared<std::atomic<bool>>(false);
    std::thread main_thread([main_took] {
      leave_sampling_wait();
      *main_took = true;
    });
    if (claim_interrupt() == InterruptClaim::kEndRunWithPoststats) {
      EXPECT_TRUE(wait_for_main_to_hold(60000));
      EXPECT_FALSE(*main_took);
      main_thread.detach();  // held for good
    } else {
      main_thread.join();
      EXPECT_TRUE(*main_took);
    }
  }
}

TEST_F(InterruptSleepTest, EndsEarlyOnlyForAnInterrupt) {
  fresh_run(true);
  EXPECT_FALSE(sleep_unless_interrupted(1));

  std::atomic<int> woke{-1};
  std::thread sleeper([&woke] { woke = sleep_unless_interrupted(600000) ? 1 : 0; });
  claim_interrupt();
  sleeper.join();
  EXPECT_EQ(woke, 1);
  EXPECT_TRUE(sleep_unless_interrupted(600000));
}

TEST_F(InterruptGateTest, HoldsTheMainThreadAfterAnInterrupt) {
  fresh_run(true);
  hold_if_interrupted();  // passes: nothing taken
  EXPECT_FALSE(wait_for_main_to_hold(0));
  claim_interrupt();
  std::thread main_thread([] {
    hold_if_interrupted();
    ADD_FAILURE() << "the gate let the main thread through";
  });
  EXPECT_TRUE(wait_for_main_to_hold(60000));
  main_thread.detach();
}

}  // namespace
}  // namespace core
