// Child processes on POSIX: one spawn routine for start_child and run_shell.
// Every child is started with posix_spawn (no fork of a run with hundreds of
// threads) as /bin/sh -c in a process group of its own, with the null device
// as standard input, no descriptor of the run's beyond 0, 1 and 2, a clean
// signal mask and default signal dispositions, and is recorded in the
// registry of live children. On Linux the shell is also a subreaper for what
// it starts, so that a daemonising client stays below it where the tree
// killer finds it: posix_spawn cannot run code in the child, so the run's own
// binary is started first under a marker name, sets that attribute before
// anything else runs and becomes the shell.
#include <dirent.h>
#include <fcntl.h>
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
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/posix/own_children.h"
#include "platform/posix/process_tree.h"

extern char** environ;

#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 34))
#define KESTREL_SPAWN_CLOSEFROM 1
#endif

namespace platform {

const int kChildRegistryClosed = ECANCELED;

namespace {

// argv[0] of the first exec: the run's own binary, which then becomes the
// shell as a subreaper.
constexpr char kSubreaperShell[] = "kestrel-subreaper-sh";

// Signals the run was started with ignored (nohup, a background job); they
// stay ignored in its children too. Every other one is at its default there.
sigset_t inherited_ignored;

// Cleared when the run's binary cannot be started again through /proc.
std::atomic<bool> subreaper_shell_works{true};

#if defined(__linux__) && !defined(KESTREL_SPAWN_CLOSEFROM)
// Closes every descriptor from 3 up, without allocating.
void close_from_three() {
#ifdef SYS_close_range
  if (syscall(SYS_close_range, 3U, ~0U, 0U) == 0) return;
#endif
  const long limit = sysconf(_SC_OPEN_MAX);
  for (long fd = 3; fd < (limit > 0 ? limit : 1024); ++fd) close(static_cast<int>(fd));
}
#endif

#ifdef __linux__
// Runs before anything else of the process (glibc passes the arguments to
// constructors), in every binary that can start children: when started as
// the first exec of a child, makes the process a subreaper and becomes the
// shell.
__attribute__((constructor(101))) void become_subreaper_shell(int argc, char** argv, char** envp) {
  if (argc != 3 || argv == nullptr || std::strcmp(argv[0], kSubreaperShell) != 0 ||
      std::strcmp(argv[1], "-c") != 0) {
    return;
  }
  prctl(PR_SET_CHILD_SUBREAPER, 1);
#ifndef KESTREL_SPAWN_CLOSEFROM
  close_from_three();
#endif
  argv[0] = const_cast<char*>("sh");
  execve("/bin/sh", argv, envp);
  _exit(127);
}
#endif

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

#ifndef KESTREL_SPAWN_CLOSEFROM
// Without a close-from action: close what is open now, as /dev/fd lists it.
void add_close_actions(posix_spawn_file_actions_t& actions) {
  DIR* dir = opendir("/dev/fd");
  if (dir == nullptr) return;
  const int own = dirfd(dir);
  while (dirent* entry = readdir(dir)) {
    char* end = nullptr;
    const long fd = std::strtol(entry->d_name, &end, 10);
    if (end == entry->d_name || *end != '\0' || fd < 3 || fd == own) continue;
    posix_spawn_file_actions_addclose(&actions, static_cast<int>(fd));
  }
  closedir(dir);
}
#endif

// The one spawn routine: /bin/sh -c `command_line` with standard input from
// the null device, standard output onto `out_fd` (-1: the run's), standard
// error the run's, nothing else open, in a process group of its own,
// registered. Returns the pid, or -1 with errno set.
long spawn_shell(const std::string& command_line, int out_fd) {
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t signals;
  sigfillset(&signals);
  for (int number = 1; number < NSIG; ++number) {
    if (sigismember(&inherited_ignored, number) == 1) sigdelset(&signals, number);
  }
  sigaddset(&signals, SIGPIPE);  // the run ignores it for itself only
  posix_spawnattr_setsigdefault(&attributes, &signals);
  sigemptyset(&signals);
  posix_spawnattr_setsigmask(&attributes, &signals);
  // A group of its own: a Ctrl+C typed at the terminal reaches kestrel's
  // handler, not its clients, and the group is killed as one.
  posix_spawnattr_setpgroup(&attributes, 0);
  posix_spawnattr_setflags(&attributes,
                           POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETPGROUP);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  // Standard output onto `out`; one that already is descriptor 1 stays.
  if (out_fd >= 0 && out_fd != STDOUT_FILENO) {
    posix_spawn_file_actions_adddup2(&actions, out_fd, STDOUT_FILENO);
  }
  // Never the terminal: a client in a background group that reads it is
  // stopped, and nothing a client reads is meant to come from the user.
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
#ifdef KESTREL_SPAWN_CLOSEFROM
  posix_spawn_file_actions_addclosefrom_np(&actions, 3);
#else
  if (!subreaper_shell_works) add_close_actions(actions);
#endif

  std::string text = command_line;  // argv wants writable strings
  int spawn_error = 0;
  long pid = posix::spawn_own_child([&]() -> long {
    pid_t started = 0;
#ifdef __linux__
    if (subreaper_shell_works) {
      char* argv[] = {const_cast<char*>(kSubreaperShell), const_cast<char*>("-c"), &text[0],
                      nullptr};
      spawn_error = posix_spawn(&started, "/proc/self/exe", &actions, &attributes, argv, environ);
      if (spawn_error == 0) return static_cast<long>(started);
      if (spawn_error != ENOENT && spawn_error != EACCES) return -1;
      // No /proc: children are still below the run, a subreaper itself.
      subreaper_shell_works = false;
#ifndef KESTREL_SPAWN_CLOSEFROM
      add_close_actions(actions);
#endif
    }
#endif
    char* argv[] = {const_cast<char*>("sh"), const_cast<char*>("-c"), &text[0], nullptr};
    spawn_error = posix_spawn(&started, "/bin/sh", &actions, &attributes, argv, environ);
    return spawn_error == 0 ? static_cast<long>(started) : -1;
  });
  const int error = pid < 0 ? (spawn_error != 0 ? spawn_error : errno) : 0;
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  errno = error;
  return pid;
}

}  // namespace

void prepare_process() {
  sigemptyset(&inherited_ignored);
  for (int number = 1; number < NSIG; ++number) {
    struct sigaction current {};
    if (sigaction(number, nullptr, &current) == 0 && current.sa_handler == SIG_IGN) {
      sigaddset(&inherited_ignored, number);
    }
  }
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
  const long pid = spawn_shell(command_line, out_fd);
  if (pid <= 0) return -1;
  int status = 0;
  posix::reap_own_child(pid, true, &status);
  return status;
}

bool start_child(const std::string& command_line, Child& child, int& error_code, std::FILE* out) {
  int out_fd = -1;
  if (!output_descriptor(out, out_fd)) {
    error_code = errno;
    return false;
  }
  std::fflush(nullptr);
  posix::reap_adopted_orphans();
  const long pid = spawn_shell(command_line, out_fd);
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
  if (timeout_ms < 0) {
    reap(child, true);
    return WaitResult::kExited;
  }
  if (reap(child, false)) return WaitResult::kExited;
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
    if (!state_of(child)->reaped) posix::abandon_own_child(child.pid);
    delete state_of(child);
    child.native = nullptr;
  }
  posix::reap_adopted_orphans();
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
