// Child processes on POSIX: start_child and run_shell both start their
// child through spawn_shell (spawn.h) and record it in the registry of live
// children, which waits for, kills and reaps it.
#include <poll.h>
#include <signal.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/prctl.h>
#endif

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/posix/own_children.h"
#include "platform/posix/process_tree.h"
#include "platform/posix/spawn.h"

namespace platform {

const int kChildRegistryClosed = ECANCELED;

namespace {

// What we know of a child beyond its pid: whether it has been reaped. The
// main thread may kill a child that a worker thread is waiting for.
struct ChildState {
  std::atomic<bool> reaped{false};
};

ChildState* state_of(Child& child) {
  return static_cast<ChildState*>(child.native);
}

bool reap(Child& child, bool block) {
  ChildState* st = state_of(child);
  if (st == nullptr || st->reaped) return true;
  if (!posix::reap_own_child(child.pid, block, nullptr)) return false;
  st->reaped = true;
  return true;
}

// The descriptor a child's standard output goes to: -1 to inherit it, or
// false when `out` has no descriptor of its own (a memory stream).
bool output_descriptor(std::FILE* out, int& fd) {
  fd = -1;
  if (out == nullptr) return true;
  fd = fileno(out);
  if (fd < 0) {
    errno = EBADF;
    return false;
  }
  return true;
}

// Starts and registers the shell of `command_line`. Returns the pid, or -1
// with errno set.
long spawn_registered(const std::string& command_line, int out_fd, std::uint64_t file_cap) {
  return posix::spawn_own_child([&](int& pidfd) -> long {
    return posix::spawn_shell(command_line, out_fd, file_cap, pidfd);
  });
}

}  // namespace

void prepare_process() {
  posix::note_inherited_ignored_signals();
#ifdef __linux__
  // Orphans of a shell whose own subreaper is gone come here, not to init.
  prctl(PR_SET_CHILD_SUBREAPER, 1);
#endif
  ignore_broken_pipe();
}

void ignore_broken_pipe() {
  signal(SIGPIPE, SIG_IGN);
}

int run_shell(const std::string& command_line, std::FILE* out) {
  int out_fd = -1;
  if (!output_descriptor(out, out_fd)) return -1;
  std::fflush(nullptr);
  const long pid = spawn_registered(command_line, out_fd, 0);
  if (pid <= 0) return -1;
  int status = 0;
  posix::reap_own_child(pid, true, &status);
  return status;
}

bool start_child(const std::string& command_line, Child& child, int& error_code, std::FILE* out,
                 std::uint64_t file_cap) {
  int out_fd = -1;
  if (!output_descriptor(out, out_fd)) {
    error_code = errno;
    return false;
  }
  std::fflush(nullptr);
  posix::reap_adopted_orphans(false);
  const long pid = spawn_registered(command_line, out_fd, file_cap);
  if (pid <= 0) {
    error_code = errno;
    return false;
  }
  child.pid = pid;
  child.native = new ChildState();
  return true;
}

WaitResult wait_child(Child& child, int timeout_ms) {
  if (child.native == nullptr) return WaitResult::kFailed;
  // Most often the child has ended by now: one look reaps it.
  if (reap(child, false)) return WaitResult::kExited;
  if (timeout_ms < 0) {
    reap(child, true);
    return WaitResult::kExited;
  }
  if (timeout_ms == 0) return WaitResult::kTimedOut;
  // The child's pidfd becomes readable when it ends: an exact wait with a
  // time-out and no polling delay.
  int fd = posix::duplicate_pidfd(child.pid);
  if (fd >= 0) {
    pollfd waiter{fd, POLLIN, 0};
    int ready;
    do {
      ready = poll(&waiter, 1, timeout_ms);
    } while (ready < 0 && errno == EINTR);
    close(fd);
    if (ready == 0) return WaitResult::kTimedOut;
    reap(child, true);
    return WaitResult::kExited;
  }
  // No pidfd: poll with a short, growing sleep.
  std::int64_t waited = 0;
  int step_ms = 1;
  while (!reap(child, false)) {
    if (waited >= timeout_ms) return WaitResult::kTimedOut;
    sleep_ms(step_ms);
    waited += step_ms;
    if (step_ms < 20) step_ms *= 2;
  }
  return WaitResult::kExited;
}

bool child_running(Child& child) {
  return !reap(child, false);
}

bool kill_child_tree(Child& child, std::FILE* /*out*/) {
  if (child.pid <= 0 || child.native == nullptr) return true;
  // Once reaped, the id may belong to someone else: nothing left to kill.
  if (state_of(child)->reaped) return true;

  // Pinned, it is not reaped meanwhile by a thread that waits for it, so
  // its id and group stay its own during the kill.
  if (!posix::pin_own_child(child.pid)) return true;
  std::vector<posix::ProcessEntry> killed = posix::kill_tree(child.pid, child.pid, true);
  posix::unpin_own_child(child.pid);
  // The killed descendants re-parent to the run (a subreaper) as they die:
  // reap them as well as the child.
  bool ended = false;
  for (int i = 0; i < 200 && !ended; ++i) {
    posix::reap_adopted_orphans(true);
    ended = reap(child, false) && !posix::any_running(killed);
    if (!ended) sleep_ms(10);
  }
  // Those that died since the last round are zombies under the run by now.
  posix::reap_adopted_orphans(true);
  return !child_running(child);
}

void close_child(Child& child) {
  if (child.native != nullptr) {
    // Still running: from now on it is an orphan like any other, reaped when
    // it ends instead of blocking here.
    if (!state_of(child)->reaped) posix::abandon_own_child(child.pid);
    delete state_of(child);
    child.native = nullptr;
  }
  posix::reap_adopted_orphans(false);
}

void close_child_registry() {
  posix::close_registry();
}

void reopen_child_registry_for_cleanup() {
  posix::reopen_registry();
}

bool child_registry_open() {
  return posix::registry_open();
}

int kill_registered_children() {
  return posix::kill_registered();
}

bool child_file_cap_enforced() {
  return posix::spawn_enforces_file_cap();
}

int last_error() {
  return errno;
}

long current_process_id() {
  return static_cast<long>(getpid());
}

void sleep_ms(int milliseconds) {
  if (milliseconds <= 0) return;
  timespec ts{milliseconds / 1000, (milliseconds % 1000) * 1000000L};
  while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
  }
}

}  // namespace platform
