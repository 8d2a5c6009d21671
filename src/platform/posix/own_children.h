// The run's own children versus orphans adopted as a subreaper. Orphans are
// reaped here; our own children are left to the code that waits for them, so
// no exit status is ever taken from its owner.
#pragma once

#include <functional>

namespace platform::posix {

// Runs `spawn` (which returns the new pid, or -1) and records the pid as one
// of our own children, without an orphan reaping in between.
long spawn_own_child(const std::function<long()>& spawn);

// Our child `pid` was reaped by its owner, or is handed over to the orphan
// reaper.
void forget_own_child(long pid);

// Reaps every ended child that is not one of our own.
void reap_adopted_orphans();

}  // namespace platform::posix
