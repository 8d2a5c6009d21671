#include "platform/posix/own_children.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <mutex>
#include <set>

#include "platform/posix/proc_table.h"
#include "platform/threads.h"

namespace platform::posix {

namespace {

std::mutex own_mutex;
std::set<long> own_pids;

// When the process table was last read for orphans. With several children
// at once one of our own often waits first in line; reading the table each
// time would cost more than the commands themselves, and an orphan's zombie
// can wait a second.
std::int64_t last_table_scan_ms = 0;
constexpr std::int64_t kTableScanIntervalMs = 1000;

// The slow way, for when a child of our own waits first in line: every
// zombie whose parent is the run.
void reap_orphans_from_table() {
  const long self = static_cast<long>(getpid());
  for (const ProcessEntry& entry : read_process_table()) {
    if (entry.parent != self || entry.state != 'Z' || own_pids.count(entry.pid) != 0) continue;
    waitpid(static_cast<pid_t>(entry.pid), nullptr, WNOHANG);
  }
}

}  // namespace

long spawn_own_child(const std::function<long()>& spawn) {
  std::lock_guard<std::mutex> lock(own_mutex);
  long pid = spawn();
  if (pid > 0) own_pids.insert(pid);
  return pid;
}

void forget_own_child(long pid) {
  std::lock_guard<std::mutex> lock(own_mutex);
  own_pids.erase(pid);
}

void reap_adopted_orphans() {
  std::lock_guard<std::mutex> lock(own_mutex);
  for (;;) {
    // Look without reaping: whose exit is waiting?
    siginfo_t info{};
    if (waitid(P_ALL, 0, &info, WEXITED | WNOHANG | WNOWAIT) != 0 || info.si_pid == 0) return;
    if (own_pids.count(info.si_pid) != 0) {
      const std::int64_t now = monotonic_ms();
      if (now - last_table_scan_ms >= kTableScanIntervalMs) {
        last_table_scan_ms = now;
        reap_orphans_from_table();
      }
      return;
    }
    waitpid(info.si_pid, nullptr, WNOHANG);
  }
}

}  // namespace platform::posix
