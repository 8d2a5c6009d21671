// The registry of the run's live children, and the reaper of orphans adopted
// as a subreaper. Each child is recorded at its start, under the same lock
// as the start itself, with a pidfd (where the kernel has them) and its
// process group. Orphans are reaped here; our own children are left to the
// code that waits for them, so no exit status is ever taken from its owner.
// A registered child is reaped only through reap_own_child, under the lock,
// so its pid (and group id) cannot be reused while it is registered.
#pragma once

#include <functional>

namespace platform::posix {

// Runs `spawn` (which returns the new pid, or -1 with errno set, and sets its
// argument to the child's pidfd or -1) and records the pid as one of our own
// children, in a process group of the same id, without an orphan reaping in
// between. Once the registry is closed, returns -1 with errno ECANCELED and
// does not call `spawn`.
long spawn_own_child(const std::function<long(int& pidfd)>& spawn);

// Reaps our child `pid` when it has ended (with `block`, waits for that) and
// drops it from the registry; `status` gets its wait status when not null.
// Returns false while it still runs. A child no longer registered counts as
// reaped.
bool reap_own_child(long pid, bool block, int* status);

// The owner no longer waits for the child: it stays registered (and killed
// with the others) until it ends, then the orphan reaper takes it.
void abandon_own_child(long pid);

// While pinned, a registered child is not reaped, so its pid and group can
// be signalled safely. False when `pid` is no longer registered.
bool pin_own_child(long pid);
void unpin_own_child(long pid);

// A new descriptor of the child's pidfd (the caller closes it), or -1.
int duplicate_pidfd(long pid);

// No start after close_registry (until reopen_registry).
void close_registry();
void reopen_registry();
bool registry_open();

// Kills every registered child with its process group and every descendant
// below it. Returns how many processes were sent the kill.
int kill_registered();

// Reaps every ended child that is not one of our own, and those of our own
// that their owner abandoned. The look costs in proportion to the run's
// threads and children, so without `at_once` it is skipped when the last one
// was less than kOrphanLookIntervalMs ago: an orphan's zombie can wait.
void reap_adopted_orphans(bool at_once);

constexpr long kOrphanLookIntervalMs = 100;

}  // namespace platform::posix
