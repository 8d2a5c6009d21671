// Process-snapshot helpers shared by the child and own-tree killers. Used where
// a job object is not available to end a process tree in one call.
#pragma once

#include <windows.h>

namespace platform::win32 {

// Terminates every process that descends from `root_pid` (not the root
// itself), parents before their children so that no new descendants are
// started meanwhile. Processes created before `root_created` cannot be
// descendants and are left alone, which guards against reused ids. Walks the
// process list again until no descendant is left (a few rounds at most).
// Returns the number of processes terminated.
int terminate_descendants(DWORD root_pid, const FILETIME& root_created);

// The creation time of a process, or zero when it cannot be read.
FILETIME process_creation_time(HANDLE process);

}  // namespace platform::win32
