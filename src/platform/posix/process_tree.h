// Ending a whole process tree on POSIX, also the parts that left the process
// group or session (daemons): the tree is frozen with SIGSTOP until no new
// member appears, then killed in one sweep.
#pragma once

#include <vector>

#include "platform/posix/proc_table.h"

namespace platform::posix {

// Stops every descendant of `root` found through parent links, and every
// member of process group `group` when it is positive, repeating until no new
// one appears; then kills them all with SIGKILL. `root` itself is stopped and
// killed only when `include_root`. The run's own process is never touched.
// Returns the processes that were sent the kill.
std::vector<ProcessEntry> kill_tree(long root, long group, bool include_root);

// True while any of `members` still runs; ended ones (gone, zombies, ids now
// used by another process) do not count.
bool any_running(const std::vector<ProcessEntry>& members);

}  // namespace platform::posix
