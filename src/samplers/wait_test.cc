#include "samplers/wait.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>

#include "core/state.h"
#include "platform/threads.h"
#include "samplers/jobs.h"

namespace samplers {
namespace {

std::atomic<int> stopped_workers{0};
std::atomic<int> finished_workers{0};

// A sampler that never ends by itself: it sleeps until it is told to stop.
void endless_worker(void* raw) {
  BackgroundJob* job = static_cast<BackgroundJob*>(raw);
  if (platform::wait_for_stop(job->stop, 600000)) ++stopped_workers;
}

void quick_worker(void*) {
  ++finished_workers;
}

void start_workers(int count, WorkerRoutine routine) {
  for (int i = 0; i < count; ++i) {
    auto job = std::make_shared<BackgroundJob>();
    job->command = "worker " + std::to_string(i);
    ASSERT_TRUE(start_background_thread(routine, job));
  }
}

TEST(SamplingWait, WorkersThatEndAreAllWaitedForBeyondSixtyFour) {
  core::reset_state();
  core::state().options.sample_minutes = 1;
  finished_workers = 0;
  start_workers(100, quick_worker);
  EXPECT_EQ(background_thread_count(), 100);

  ::testing::internal::CaptureStderr();
  wait_for_background_threads();
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(finished_workers, 100);
  EXPECT_EQ(background_thread_count(), 0);
  EXPECT_EQ(core::state().background_threads.stop, nullptr);
}

TEST(SamplingWait, HungWorkersAreStoppedWhenTheWaitRunsOut) {
  core::reset_state();
  // -t 0 gives a wait of no time at all: every worker is still running.
  core::state().options.sample_minutes = 0;
  stopped_workers = 0;
  start_workers(70, endless_worker);

  ::testing::internal::CaptureStderr();
  wait_for_background_threads();
  EXPECT_EQ(::testing::internal::GetCapturedStderr(),
            "WARNING: All background threads have not yet returned. Attempting to kill those "
            "still running...\n");
  EXPECT_EQ(stopped_workers, 70);
  EXPECT_EQ(background_thread_count(), 0);
}

TEST(SamplingWait, TimeOuts) {
  EXPECT_EQ(wait_timeout_ms(2), 180000);
  EXPECT_EQ(job_timeout_ms(2), 132000);
  EXPECT_EQ(job_timeout_ms(1), 66000);
}

}  // namespace
}  // namespace samplers
