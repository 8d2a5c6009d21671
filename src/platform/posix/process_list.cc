// Machine-wide process operations on POSIX: ending processes by image name
// and ending the run's own process tree.
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "platform/platform.h"
#include "platform/posix/proc_table.h"
#include "platform/posix/process_tree.h"

namespace platform {

long kill_processes_by_name(const std::string& image_prefix) {
  // An empty prefix would match every process on the machine.
  if (image_prefix.empty()) return 0;
  long last = 0;
  const long self = current_process_id();
  for (const posix::ProcessEntry& p : posix::read_process_table()) {
    if (p.pid == self) continue;
    // The whole name, or it with ".exe": a prefix "ssh" would also end the
    // machine's sshd and every ssh-agent.
    const std::string image = posix::image_name(p.pid);
    if (image != image_prefix && image != image_prefix + ".exe") continue;
    if (kill(static_cast<pid_t>(p.pid), SIGKILL) == 0) last = p.pid;
  }
  return last;
}

void kill_own_process_tree() {
  std::fflush(nullptr);
  close_child_registry();
  kill_registered_children();
  // Orphans of our children re-parented to us (a subreaper), so they are
  // found here too.
  posix::kill_tree(current_process_id(), 0, false);
  // The run itself ends normally: its report is complete at this point.
  _exit(0);
}

}  // namespace platform
