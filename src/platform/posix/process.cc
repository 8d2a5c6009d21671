// Child processes on POSIX: every child runs /bin/sh -c in a process group of
// its own, so killing the group ends the command and everything it started.
#include <dirent.h>
#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace platform {

namespace {

// What we know of a child beyond its pid: whether it has been reaped.
struct ChildState {
  bool reaped = false;
};

ChildState* state_of(Child& child) {
  return static_cast<ChildState*>(child.native);
}

bool reap(Child& child, bool block) {
  ChildState* st = state_of(child);
  if (st == nullptr || st->reaped) return true;
  int status = 0;
  pid_t r = waitpid(static_cast<pid_t>(child.pid), &status, block ? 0 : WNOHANG);
  if (r == static_cast<pid_t>(child.pid) || (r < 0 && errno == ECHILD)) {
    st->reaped = true;
    return true;
  }
  return false;
}

}  // namespace

int run_shell(const std::string& command_line) {
  std::fflush(nullptr);
  return std::system(command_line.c_str());
}

bool start_child(const std::string& command_line, Child& child, int& error_code) {
  std::fflush(nullptr);
  pid_t pid = fork();
  if (pid < 0) {
    error_code = errno;
    return false;
  }
  if (pid == 0) {
    setpgid(0, 0);
    execl("/bin/sh", "sh", "-c", command_line.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  setpgid(pid, pid);  // also from the parent, so a kill right after start finds the group
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

bool kill_child_tree(Child& child) {
  if (child.pid <= 0) return true;
  kill(-static_cast<pid_t>(child.pid), SIGKILL);
  kill(static_cast<pid_t>(child.pid), SIGKILL);
  // SIGKILL reaches the whole group at once; the child itself is ours to reap.
  for (int i = 0; i < 100; ++i) {
    if (reap(child, false)) return true;
    sleep_ms(10);
  }
  return false;
}

void close_child(Child& child) {
  if (child.native != nullptr) {
    if (!state_of(child)->reaped) {
      // Still running: leave it to init rather than block here.
    }
    delete state_of(child);
    child.native = nullptr;
  }
}

int last_error() {
  return errno;
}

long current_process_id() {
  return static_cast<long>(getpid());
}

namespace {

struct ProcessInfo {
  long pid = 0;
  long parent = 0;
  std::string image;  // base name of argv[0]
};

std::vector<ProcessInfo> list_processes() {
  std::vector<ProcessInfo> result;
  DIR* proc = opendir("/proc");
  if (proc == nullptr) return result;
  while (dirent* entry = readdir(proc)) {
    char* end = nullptr;
    long pid = std::strtol(entry->d_name, &end, 10);
    if (pid <= 0 || *end != '\0') continue;
    ProcessInfo info;
    info.pid = pid;
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(stat, line)) continue;
    size_t close = line.rfind(')');
    if (close == std::string::npos || close + 4 > line.size()) continue;
    // After ") " come the state and the parent id.
    info.parent = std::strtol(line.c_str() + close + 4, nullptr, 10);
    std::ifstream cmdline("/proc/" + std::to_string(pid) + "/cmdline");
    std::string argv0;
    std::getline(cmdline, argv0, '\0');
    size_t slash = argv0.rfind('/');
    info.image = slash == std::string::npos ? argv0 : argv0.substr(slash + 1);
    result.push_back(info);
  }
  closedir(proc);
  return result;
}

}  // namespace

long kill_processes_by_name(const std::string& image_prefix) {
  long last = 0;
  long self = current_process_id();
  for (const ProcessInfo& p : list_processes()) {
    if (p.pid == self || p.image.compare(0, image_prefix.size(), image_prefix) != 0) continue;
    if (p.image.size() < image_prefix.size()) continue;
    if (kill(static_cast<pid_t>(p.pid), SIGKILL) == 0) last = p.pid;
  }
  return last;
}

void kill_own_process_tree() {
  std::fflush(nullptr);
  long self = current_process_id();
  std::vector<ProcessInfo> all = list_processes();
  std::map<long, std::vector<long>> children;
  for (const ProcessInfo& p : all) children[p.parent].push_back(p.pid);
  std::vector<long> pending = {self};
  std::vector<long> descendants;
  while (!pending.empty()) {
    long pid = pending.back();
    pending.pop_back();
    for (long c : children[pid]) {
      descendants.push_back(c);
      pending.push_back(c);
    }
  }
  for (long pid : descendants) kill(static_cast<pid_t>(pid), SIGKILL);
  // The run itself ends normally: its report is complete at this point.
  _exit(0);
}

void sleep_ms(int milliseconds) {
  if (milliseconds <= 0) return;
  timespec ts{milliseconds / 1000, (milliseconds % 1000) * 1000000L};
  while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
  }
}

}  // namespace platform
