// The run's durations, computed in 64 bits from the options whatever their
// size: a wait or limit never wraps into a negative or tiny value.
#pragma once

#include <cstdint>

#include "core/state.h"

namespace run {

// The sleep of a sampling wait without background samplers: the sampling
// time plus 10 seconds.
std::int64_t sampling_sleep_ms(const core::RunOptions& options);

// The pause between iterations: the -i interval, at least 10 seconds.
std::int64_t pause_seconds(const core::RunOptions& options);

// How long the run may start new iterations: twice the planned sampling and
// pause time, at least the -w minimum; saturates for plans too long to count.
std::int64_t run_time_limit_seconds(const core::RunOptions& options);

// Sleeps for a duration that may exceed what one platform sleep takes.
void sleep_long_ms(std::int64_t milliseconds);

}  // namespace run
