// The one routine that starts a child on POSIX: /bin/sh -c with the null
// device as standard input, standard output where the caller says, nothing
// else of the run's open, a process group of its own, a clean signal mask and
// default signal dispositions. On Linux the shell is also a child subreaper
// (a daemonising client stays below it, where the tree killer finds it) and
// may get a file size limit.
#pragma once

#include <signal.h>

#include <cstdint>
#include <string>

namespace platform::posix {

// Signals the run was started with ignored (nohup, a background job); they
// stay ignored in its children. Taken once by prepare_process.
void note_inherited_ignored_signals();

// Starts the shell for `command_line` with standard output onto `out_fd`
// (-1: the run's). With `file_cap` > 0 (Linux), no regular file that the
// shell or its descendants write may grow past `file_cap` bytes: a write
// beyond fails and, unless the writer ignores SIGXFSZ, ends it. Returns the
// pid, or -1 with errno set. The caller registers the child. `pidfd` gets a
// pidfd of the child (close-on-exec) where the start gives one, else -1.
long spawn_shell(const std::string& command_line, int out_fd, std::uint64_t file_cap, int& pidfd);

// True where spawn_shell enforces `file_cap`.
bool spawn_enforces_file_cap();

}  // namespace platform::posix
