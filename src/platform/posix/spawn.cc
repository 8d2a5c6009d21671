// Starting a child without fork: a process with hundreds of threads must not
// copy its page tables for every command. On Linux the child is a clone that
// shares the run's memory until it executes the shell (as posix_spawn does
// inside), so it can also make itself a subreaper and take a file size limit
// on the way, at no cost of an extra program start. Elsewhere posix_spawn.
#include "platform/posix/spawn.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#ifdef __linux__
#include <sched.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#else
#include <dirent.h>
#include <spawn.h>

#include <cstdlib>
#endif

extern char** environ;

namespace platform::posix {

namespace {

sigset_t inherited_ignored;

// A signal the child keeps as the run had it when it started: ignored then.
// SIGPIPE is ignored by the run for itself only, so it is back at default.
bool stays_ignored(int number) {
  return number != SIGPIPE && sigismember(&inherited_ignored, number) == 1;
}

#ifdef __linux__

// What the child needs, on the stack of the thread that starts it (which is
// suspended until the child runs the shell or fails).
struct Plan {
  char* const* argv = nullptr;
  int out_fd = -1;
  std::uint64_t file_cap = 0;
  int error = 0;  // set by the child when it cannot run the shell
};

// Bytes of stack the child runs on before it executes the shell.
constexpr std::size_t kChildStackBytes = 32 * 1024;

#ifndef CLOSE_RANGE_UNSHARE
#define CLOSE_RANGE_UNSHARE (1U << 1)
#endif

// Gives the child a descriptor table of its own (it shares the run's since
// the clone) holding 0 to 2 and `keep` (when it is 3 or more) and nothing
// else. Only what is kept is copied, not the hundreds of descriptors the
// run may hold. Without allocating.
bool own_descriptors(int keep) {
  const unsigned first_closed = keep >= 3 ? static_cast<unsigned>(keep) + 1 : 3U;
#ifdef SYS_close_range
  if (syscall(SYS_close_range, first_closed, ~0U, CLOSE_RANGE_UNSHARE) == 0) {
    if (keep > 3) syscall(SYS_close_range, 3U, static_cast<unsigned>(keep) - 1, 0U);
    return true;
  }
#endif
  if (unshare(CLONE_FILES) != 0) return false;
  struct rlimit limit {};
  const rlim_t top = getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY
                         ? limit.rlim_cur
                         : 65536;
  for (rlim_t fd = 3; fd < top; ++fd) {
    if (static_cast<int>(fd) != keep) close(static_cast<int>(fd));
  }
  return true;
}

// Lowers the soft limit of `resource` to `value` (never raises it).
void lower_soft_limit(int resource, rlim_t value) {
  struct rlimit limit {};
  if (getrlimit(resource, &limit) != 0) return;
  if (limit.rlim_cur != RLIM_INFINITY && limit.rlim_cur <= value) return;
  limit.rlim_cur = value;
  setrlimit(resource, &limit);
}

// The child, in the run's memory: only system calls, no allocation, no lock.
// Signals are blocked on entry; every handler is taken back to its default
// before they are let through, so no handler of the run can run here.
__attribute__((no_sanitize_address)) int child_main(void* raw) {
  Plan* plan = static_cast<Plan*>(raw);
  for (int number = 1; number < NSIG; ++number) {
    struct sigaction current {};
    if (number == SIGKILL || number == SIGSTOP || sigaction(number, nullptr, &current) != 0) {
      continue;
    }
    if (current.sa_handler == SIG_DFL) continue;
    if (current.sa_handler == SIG_IGN && stays_ignored(number)) continue;
    struct sigaction initial {};
    initial.sa_handler = SIG_DFL;
    sigemptyset(&initial.sa_mask);
    sigaction(number, &initial, nullptr);
  }
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);

  // A group of its own: a Ctrl+C typed at the terminal reaches kestrel's
  // handler, not its clients, and the group is killed as one.
  setpgid(0, 0);
  prctl(PR_SET_CHILD_SUBREAPER, 1);
  if (plan->file_cap > 0) {
    lower_soft_limit(RLIMIT_FSIZE, static_cast<rlim_t>(plan->file_cap));
    // A client ended at the limit leaves no core file behind.
    lower_soft_limit(RLIMIT_CORE, 0);
  }

  const int out = plan->out_fd;
  if (!own_descriptors(out)) {
    plan->error = errno;
    _exit(127);
  }
  if (out >= 0 && out != STDOUT_FILENO) {
    if (dup2(out, STDOUT_FILENO) < 0) {
      plan->error = errno;
      _exit(127);
    }
    if (out > STDERR_FILENO) close(out);
  }
  // Never the terminal: a client in a background group that reads it is
  // stopped, and nothing a client reads is meant to come from the user.
  const int input = open("/dev/null", O_RDONLY);
  if (input < 0 || (input != STDIN_FILENO && dup2(input, STDIN_FILENO) < 0)) {
    plan->error = errno;
    _exit(127);
  }
  if (input != STDIN_FILENO) close(input);
  execve("/bin/sh", plan->argv, environ);
  plan->error = errno;
  _exit(127);
}

#else

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

}  // namespace

void note_inherited_ignored_signals() {
  sigemptyset(&inherited_ignored);
  for (int number = 1; number < NSIG; ++number) {
    struct sigaction current {};
    if (sigaction(number, nullptr, &current) == 0 && current.sa_handler == SIG_IGN) {
      sigaddset(&inherited_ignored, number);
    }
  }
}

#ifdef __linux__

bool spawn_enforces_file_cap() {
  return true;
}

long spawn_shell(const std::string& command_line, int out_fd, std::uint64_t file_cap, int& pidfd) {
  std::string text = command_line;  // argv wants writable strings
  char* argv[] = {const_cast<char*>("sh"), const_cast<char*>("-c"), &text[0], nullptr};
  Plan plan;
  plan.argv = argv;
  plan.out_fd = out_fd;
  plan.file_cap = file_cap;

  // Blocked from before the clone until the child has cleared its handlers.
  sigset_t all, before;
  sigfillset(&all);
  pthread_sigmask(SIG_BLOCK, &all, &before);
  alignas(64) char stack[kChildStackBytes];
  // The calling thread waits (CLONE_VFORK) until the child has executed the
  // shell or ended, so the stack and the plan stay valid for it. The child
  // shares the descriptor table too until it takes the few it keeps. Its
  // pidfd comes with it where the kernel gives one (5.2 on).
  const int flags = CLONE_VM | CLONE_VFORK | CLONE_FILES | SIGCHLD;
  pidfd = -1;
  pid_t pid = clone(child_main, stack + sizeof stack, flags | CLONE_PIDFD, &plan, &pidfd);
  if (pid < 0 && errno == EINVAL) {
    pidfd = -1;
    pid = clone(child_main, stack + sizeof stack, flags, &plan);
  }
  const int clone_error = errno;
  pthread_sigmask(SIG_SETMASK, &before, nullptr);
  if (pid < 0) {
    errno = clone_error;
    return -1;
  }
  if (plan.error != 0) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (pidfd >= 0) close(pidfd);
    pidfd = -1;
    errno = plan.error;
    return -1;
  }
  return static_cast<long>(pid);
}

#else

bool spawn_enforces_file_cap() {
  return false;
}

long spawn_shell(const std::string& command_line, int out_fd, std::uint64_t /*file_cap*/,
                 int& pidfd) {
  pidfd = -1;
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t signals;
  sigfillset(&signals);
  for (int number = 1; number < NSIG; ++number) {
    if (stays_ignored(number)) sigdelset(&signals, number);
  }
  posix_spawnattr_setsigdefault(&attributes, &signals);
  sigemptyset(&signals);
  posix_spawnattr_setsigmask(&attributes, &signals);
  posix_spawnattr_setpgroup(&attributes, 0);
  posix_spawnattr_setflags(&attributes,
                           POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETPGROUP);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (out_fd >= 0 && out_fd != STDOUT_FILENO) {
    posix_spawn_file_actions_adddup2(&actions, out_fd, STDOUT_FILENO);
  }
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  add_close_actions(actions);

  std::string text = command_line;
  char* argv[] = {const_cast<char*>("sh"), const_cast<char*>("-c"), &text[0], nullptr};
  pid_t started = 0;
  const int error = posix_spawn(&started, "/bin/sh", &actions, &attributes, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  if (error != 0) {
    errno = error;
    return -1;
  }
  return static_cast<long>(started);
}

#endif

}  // namespace platform::posix
