#include "run/timing.h"

#include <gtest/gtest.h>

#include <climits>

namespace run {
namespace {

TEST(Timing, WaitsAtTheLargestOptionValuesStayLongAndPositive) {
  core::RunOptions o;
  o.sample_minutes = 35792;  // the first value whose milliseconds overflow 32 bits
  EXPECT_EQ(sampling_sleep_ms(o), 35792LL * 60000 + 10000);
  o.sample_minutes = 35791393;
  EXPECT_EQ(sampling_sleep_ms(o), 35791393LL * 60000 + 10000);
  o.sample_minutes = 0;
  EXPECT_EQ(sampling_sleep_ms(o), 10000);
}

TEST(Timing, PauseIsAtLeastTenSecondsAndNeverWraps) {
  core::RunOptions o;
  o.iter_interval = 0;
  EXPECT_EQ(pause_seconds(o), 10);
  o.iter_interval = 35792;
  EXPECT_EQ(pause_seconds(o), 35792LL * 60);
  o.iter_interval = INT_MAX;
  EXPECT_EQ(pause_seconds(o), INT_MAX * 60LL);
  o.iter_interval = INT_MIN;
  EXPECT_EQ(pause_seconds(o), 10);
}

TEST(Timing, RunLimitIsTwiceThePlanAtLeastTheMinimumAndSaturates) {
  core::RunOptions o;
  o.sample_minutes = 2;
  o.iterations = 3;
  o.iter_interval = 1;
  o.max_run_seconds = 300;
  EXPECT_EQ(run_time_limit_seconds(o), 3 * 3 * 120);
  o.iterations = 1;
  EXPECT_EQ(run_time_limit_seconds(o), 360);
  o.iter_interval = 0;
  EXPECT_EQ(run_time_limit_seconds(o), 300) << "-w minimum";

  o.sample_minutes = 35791393;
  o.iter_interval = INT_MAX;
  o.iterations = INT_MAX;
  EXPECT_GT(run_time_limit_seconds(o), std::int64_t{1} << 50) << "saturated, not wrapped";

  o.sample_minutes = 0;
  o.iter_interval = INT_MIN;
  EXPECT_EQ(run_time_limit_seconds(o), 300) << "a negative plan falls back to the minimum";
}

}  // namespace
}  // namespace run
