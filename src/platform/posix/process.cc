// Child processes on POSIX: every child runs /bin/sh -c in a process group of
// its own and is a subreaper for what it starts, so that a daemonising client
// stays below it where the tree killer finds it.
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/prctl.h>
#endif

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <string>

#include "platform/platform.h"
#include "platform/posix/own_children.h"
#include "platform/posix/process_tree.h"

extern char** environ;

namespace platform {

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
  const pid_t pid = static_cast<pid_t>(child.pid);
  int status = 0;
  pid_t r;
  do {
    r = waitpid(pid, &status, block ? 0 : WNOHANG);
  } while (r < 0 && errno == EINTR);
  if (r == pid || (r < 0 && errno == ECHILD)) {
    st->reaped = true;
    posix::forget_own_child(child.pid);
    return true;
  }
  return false;
}

// In the forked child: standard output onto `out_fd` (-1: kept), the signal
// state a freshly started program expects (kestrel itself ignores SIGPIPE),
// then the shell. Only async-signal-safe calls here.
[[noreturn]] void exec_shell(char* const argv[], int out_fd) {
  if (out_fd >= 0 && out_fd != STDOUT_FILENO) {
    if (dup2(out_fd, STDOUT_FILENO) < 0) _exit(127);
    if (out_fd > STDERR_FILENO) close(out_fd);
  }
  struct sigaction fallback {};
  fallback.sa_handler = SIG_DFL;
  sigemptyset(&fallback.sa_mask);
  sigaction(SIGPIPE, &fallback, nullptr);
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  execve("/bin/sh", argv, environ);
  _exit(127);
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

}  // namespace

void prepare_process() {
#ifdef __linux__
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
  char* argv[] = {const_cast<char*>("sh"), const_cast<char*>("-c"),
                  const_cast<char*>(command_line.c_str()), nullptr};
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGPIPE);
  posix_spawnattr_setsigdefault(&attributes, &signals);
  sigemptyset(&signals);
  posix_spawnattr_setsigmask(&attributes, &signals);
  // A group of its own, like every child: a Ctrl+C typed at the terminal
  // reaches kestrel's handler, not the short commands it runs meanwhile.
  posix_spawnattr_setpgroup(&attributes, 0);
  posix_spawnattr_setflags(&attributes,
                           POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETPGROUP);

  // Standard output onto `out`; one that already is descriptor 1 stays as is.
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (out_fd >= 0 && out_fd != STDOUT_FILENO) {
    posix_spawn_file_actions_adddup2(&actions, out_fd, STDOUT_FILENO);
    if (out_fd > STDERR_FILENO) posix_spawn_file_actions_addclose(&actions, out_fd);
  }

  int spawn_error = 0;
  long pid = posix::spawn_own_child([&]() -> long {
    pid_t started = 0;
    spawn_error = posix_spawn(&started, "/bin/sh", &actions, &attributes, argv, environ);
    return spawn_error == 0 ? static_cast<long>(started) : -1;
  });
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  if (pid <= 0) {
    errno = spawn_error;
    return -1;
  }

  int status = 0;
  pid_t r;
  do {
    r = waitpid(static_cast<pid_t>(pid), &status, 0);
  } while (r < 0 && errno == EINTR);
  posix::forget_own_child(pid);
  return r == static_cast<pid_t>(pid) ? status : -1;
}

bool start_child(const std::string& command_line, Child& child, int& error_code, std::FILE* out) {
  int out_fd = -1;
  if (!output_descriptor(out, out_fd)) {
    error_code = errno;
    return false;
  }
  std::fflush(nullptr);
  posix::reap_adopted_orphans();
  char* argv[] = {const_cast<char*>("sh"), const_cast<char*>("-c"),
                  const_cast<char*>(command_line.c_str()), nullptr};
  int fork_error = 0;
  long pid = posix::spawn_own_child([&]() -> long {
    pid_t started = fork();
    if (started == 0) {
      setpgid(0, 0);
#ifdef __linux__
      // Orphans of the command re-parent to its shell, not to init.
      prctl(PR_SET_CHILD_SUBREAPER, 1);
#endif
      exec_shell(argv, out_fd);
    }
    fork_error = errno;
    return static_cast<long>(started);
  });
  if (pid < 0) {
    error_code = fork_error;
    return false;
  }
  setpgid(static_cast<pid_t>(pid),
          static_cast<pid_t>(pid));  // so a kill right after start finds the group
  child.pid = pid;
  child.native = new ChildState();
  return true;
}

WaitResult wait_child(Child& child, int timeout_ms) {
  if (child.native == nullptr) return WaitResult::kFailed;
  if (timeout_ms < 0) {
    reap(child, true);
    return WaitResult::kExited;
  }
  if (reap(child, false)) return WaitResult::kExited;
#ifdef SYS_pidfd_open
  // A pidfd becomes readable when the process ends: an exact wait with a
  // time-out and no polling delay.
  int fd = static_cast<int>(syscall(SYS_pidfd_open, static_cast<pid_t>(child.pid), 0));
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
#endif
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

  std::vector<posix::ProcessEntry> killed = posix::kill_tree(child.pid, child.pid, true);
  // The killed descendants re-parent to the run (a subreaper) as they die:
  // reap them as well as the child.
  bool ended = false;
  for (int i = 0; i < 200 && !ended; ++i) {
    posix::reap_adopted_orphans();
    ended = reap(child, false) && !posix::any_running(killed);
    if (!ended) sleep_ms(10);
  }
  // Those that died since the last round are zombies under the run by now.
  posix::reap_adopted_orphans();
  return !child_running(child);
}

void close_child(Child& child) {
  if (child.native != nullptr) {
    // Still running: from now on it is an orphan like any other, reaped when
    // it ends instead of blocking here.
    if (!state_of(child)->reaped) posix::forget_own_child(child.pid);
    delete state_of(child);
    child.native = nullptr;
  }
  posix::reap_adopted_orphans();
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
