#include "run/timing.h"

#include "platform/platform.h"

namespace run {

std::int64_t sampling_sleep_ms(const core::RunOptions& options) {
  return static_cast<std::int64_t>(options.sample_minutes) * 60000 + 10000;
}

std::int64_t pause_seconds(const core::RunOptions& options) {
  std::int64_t pause = static_cast<std::int64_t>(options.iter_interval) * 60;
  return pause < 10 ? 10 : pause;
}

std::int64_t run_time_limit_seconds(const core::RunOptions& options) {
  constexpr std::int64_t kNoLimit = std::int64_t{1} << 53;
  const std::int64_t per_iteration =
      (static_cast<std::int64_t>(options.sample_minutes) + options.iter_interval) * 120;
  std::int64_t limit = 0;
  if (per_iteration > 0 && options.iterations > 0) {
    limit = options.iterations > kNoLimit / per_iteration ? kNoLimit
                                                          : per_iteration * options.iterations;
  }
  return limit < options.max_run_seconds ? options.max_run_seconds : limit;
}

void sleep_long_ms(std::int64_t milliseconds) {
  constexpr std::int64_t kChunk = 3600 * 1000;
  while (milliseconds > 0) {
    const std::int64_t step = milliseconds < kChunk ? milliseconds : kChunk;
    platform::sleep_ms(static_cast<int>(step));
    milliseconds -= step;
  }
}

}  // namespace run
