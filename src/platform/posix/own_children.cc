#include "platform/posix/own_children.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <map>
#include <mutex>
#include <vector>

#include "platform/platform.h"
#include "platform/posix/proc_table.h"
#include "platform/posix/process_tree.h"
#include "platform/threads.h"

namespace platform::posix {

namespace {

struct OwnChild {
  int pidfd = -1;  // -1 where the kernel has no pidfds
  long group = 0;
  int pins = 0;
  bool abandoned = false;
};

std::mutex own_mutex;
std::map<long, OwnChild> own_children;
bool closed = false;

// With several children at once one of our own often waits first in line,
// for the moment until its owner reaps it; orphans behind it are then found
// on a later look. Only a child of our own that stays first in line for a
// while hides them for good: then the process table is read (with hundreds
// of samplers that costs more than all their commands, so not more often
// than every few seconds). An orphan's zombie can wait.
long blocking_pid = 0;
std::int64_t blocking_since_ms = 0;
std::int64_t last_table_scan_ms = 0;
constexpr std::int64_t kTableScanIntervalMs = 3000;
std::int64_t last_orphan_look_ms = 0;

int open_pidfd(long pid) {
#ifdef SYS_pidfd_open
  int fd = static_cast<int>(syscall(SYS_pidfd_open, static_cast<pid_t>(pid), 0));
  if (fd >= 0) return fd;
#endif
  (void)pid;
  return -1;
}

// Sends `signal_number` to a registered child through its pidfd, so that it
// reaches that process and no other.
void signal_child(long pid, const OwnChild& child, int signal_number) {
#ifdef SYS_pidfd_send_signal
  if (child.pidfd >= 0 &&
      syscall(SYS_pidfd_send_signal, child.pidfd, signal_number, nullptr, 0) == 0) {
    return;
  }
#endif
  kill(static_cast<pid_t>(pid), signal_number);
}

// Under own_mutex: the child may be reaped now.
bool reapable(const std::map<long, OwnChild>::iterator& it) {
  return it->second.pins == 0;
}

// Under own_mutex.
void forget(std::map<long, OwnChild>::iterator it) {
  if (it->second.pidfd >= 0) close(it->second.pidfd);
  own_children.erase(it);
}

// Under own_mutex: a child that nobody waits for any more, ended.
bool reap_abandoned(long pid) {
  auto it = own_children.find(pid);
  if (it == own_children.end() || !it->second.abandoned || !reapable(it)) return false;
  if (waitpid(static_cast<pid_t>(pid), nullptr, WNOHANG) == 0) return false;
  forget(it);
  return true;
}

// The slow way, for when a child of our own waits first in line: every
// zombie whose parent is the run.
void reap_orphans_from_table() {
  const long self = static_cast<long>(getpid());
  for (const ProcessEntry& entry : read_process_table()) {
    if (entry.parent != self || entry.state != 'Z') continue;
    if (own_children.count(entry.pid) != 0) {
      reap_abandoned(entry.pid);
      continue;
    }
    waitpid(static_cast<pid_t>(entry.pid), nullptr, WNOHANG);
  }
}

}  // namespace

long spawn_own_child(const std::function<long(int& pidfd)>& spawn) {
  std::lock_guard<std::mutex> lock(own_mutex);
  if (closed) {
    errno = ECANCELED;
    return -1;
  }
  int pidfd = -1;
  long pid = spawn(pidfd);
  if (pid > 0) {
    OwnChild child;
    child.pidfd = pidfd >= 0 ? pidfd : open_pidfd(pid);
    child.group = pid;
    own_children[pid] = child;
  }
  return pid;
}

bool reap_own_child(long pid, bool block, int* status) {
  if (block) {
    // Wait for the end without reaping: the pid stays ours until the lock
    // is held.
    siginfo_t info{};
    while (waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOWAIT) != 0 && errno == EINTR) {
    }
  }
  for (;;) {
    {
      std::lock_guard<std::mutex> lock(own_mutex);
      auto it = own_children.find(pid);
      if (it == own_children.end()) return true;
      if (reapable(it)) {
        int wait_status = 0;
        pid_t r;
        do {
          r = waitpid(static_cast<pid_t>(pid), &wait_status, WNOHANG);
        } while (r < 0 && errno == EINTR);
        if (r == static_cast<pid_t>(pid) || (r < 0 && errno == ECHILD)) {
          if (status != nullptr) *status = wait_status;
          forget(it);
          return true;
        }
      }
    }
    if (!block) return false;
    sleep_ms(1);  // pinned by a killer, or not waitable yet
  }
}

void abandon_own_child(long pid) {
  std::lock_guard<std::mutex> lock(own_mutex);
  auto it = own_children.find(pid);
  if (it != own_children.end()) it->second.abandoned = true;
}

bool pin_own_child(long pid) {
  std::lock_guard<std::mutex> lock(own_mutex);
  auto it = own_children.find(pid);
  if (it == own_children.end()) return false;
  ++it->second.pins;
  return true;
}

void unpin_own_child(long pid) {
  std::lock_guard<std::mutex> lock(own_mutex);
  auto it = own_children.find(pid);
  if (it != own_children.end() && it->second.pins > 0) --it->second.pins;
}

int duplicate_pidfd(long pid) {
  std::lock_guard<std::mutex> lock(own_mutex);
  auto it = own_children.find(pid);
  if (it == own_children.end() || it->second.pidfd < 0) return -1;
  return fcntl(it->second.pidfd, F_DUPFD_CLOEXEC, 0);
}

void close_registry() {
  std::lock_guard<std::mutex> lock(own_mutex);
  closed = true;
}

void reopen_registry() {
  std::lock_guard<std::mutex> lock(own_mutex);
  closed = false;
}

bool registry_open() {
  std::lock_guard<std::mutex> lock(own_mutex);
  return !closed;
}

int kill_registered() {
  std::vector<std::pair<long, OwnChild>> targets;
  {
    std::lock_guard<std::mutex> lock(own_mutex);
    for (auto& entry : own_children) {
      ++entry.second.pins;
      targets.push_back(entry);
    }
  }
  int killed = 0;
  for (const auto& [pid, child] : targets) {
    // Frozen at once, so that it starts nothing while the others are dealt
    // with; then its group and everything below it, and the child itself.
    signal_child(pid, child, SIGSTOP);
    killed += static_cast<int>(kill_tree(pid, child.group, false).size());
    signal_child(pid, child, SIGKILL);
    ++killed;
  }
  for (const auto& target : targets) unpin_own_child(target.first);
  return killed;
}

void reap_adopted_orphans(bool at_once) {
  std::lock_guard<std::mutex> lock(own_mutex);
  const std::int64_t started = monotonic_ms();
  if (!at_once && started - last_orphan_look_ms < kOrphanLookIntervalMs) return;
  last_orphan_look_ms = started;
  for (;;) {
    // Look without reaping: whose exit is waiting?
    siginfo_t info{};
    if (waitid(P_ALL, 0, &info, WEXITED | WNOHANG | WNOWAIT) != 0 || info.si_pid == 0) return;
    if (own_children.count(info.si_pid) != 0) {
      if (reap_abandoned(info.si_pid)) continue;
      const std::int64_t now = monotonic_ms();
      if (info.si_pid != blocking_pid) {
        blocking_pid = info.si_pid;
        blocking_since_ms = now;
        return;
      }
      if (now - blocking_since_ms >= kTableScanIntervalMs &&
          now - last_table_scan_ms >= kTableScanIntervalMs) {
        last_table_scan_ms = now;
        reap_orphans_from_table();
      }
      return;
    }
    waitpid(info.si_pid, nullptr, WNOHANG);
  }
}

}  // namespace platform::posix
