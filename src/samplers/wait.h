// The end of the sampling wait: every worker of the iteration is waited for
// within one deadline, whatever their number; hung ones are stopped.
#pragma once

#include <cstdint>

#include "core/state.h"

namespace samplers {

// GetExitCodeThread's "still active".
constexpr int kStillActive = 259;

// How long stopped workers get to kill their children and return.
constexpr int kStopGraceMs = 15000;

// One and a half times the sampling time, in milliseconds.
std::int64_t wait_timeout_ms(int sample_minutes);

int background_thread_count();

// Waits for all workers until the deadline; stops those still running;
// empties the table; pauses 500 ms.
void wait_for_background_threads();

// Raises the stop signal: every worker kills its child's process tree and
// returns. Ends the run when one does not return within the grace time.
void kill_hung_threads();

// kStillActive while the worker runs, else 0 (also when its state cannot be
// read, which is logged).
int thread_exit_status(const core::BackgroundThread& worker);

// Releases every ended worker and its job and empties the table.
void close_background_threads();

}  // namespace samplers
