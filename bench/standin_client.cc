// A remote-shell client for benchmarks that costs almost no CPU: it answers
// each command from a reply cache after a fixed latency, so a benchmark
// measures kestrel rather than the simulator. On a cache miss it runs the
// simulator's own client once and keeps its reply.
//
//   STANDIN_REPLIES     folder of the cache (required)
//   STANDIN_REAL        the simulator's client to ask on a miss (required)
//   STANDIN_LATENCY_MS  the wait before each cached answer (default 0)
//   CTLSIM_STATE        where the simulator keeps its invocation logs: a
//                       cached answer is logged there as the simulator would
//
// Usage as the simulator's client: rsh HOST -l USER -n "COMMAND".
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

extern char** environ;

namespace {

std::string env_or(const char* name, const char* fallback) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : fallback;
}

std::string hex_key(const std::string& text) {
  std::uint64_t hash = 1469598103934665603ull;
  for (unsigned char c : text) hash = (hash ^ c) * 1099511628211ull;
  char buffer[17];
  std::snprintf(buffer, sizeof buffer, "%016llx", static_cast<unsigned long long>(hash));
  return buffer;
}

bool copy_to_stdout(const std::string& path) {
  const int in = open(path.c_str(), O_RDONLY);
  if (in < 0) return false;
  char buffer[65536];
  ssize_t got;
  while ((got = read(in, buffer, sizeof buffer)) > 0) {
    if (write(1, buffer, static_cast<size_t>(got)) != got) break;
  }
  close(in);
  return true;
}

void log_invocation(const std::string& host, const std::string& command) {
  const std::string state = env_or("CTLSIM_STATE", "");
  if (state.empty() || host.find('/') != std::string::npos) return;
  timespec now = {};
  clock_gettime(CLOCK_REALTIME, &now);
  char line[4096];
  const int length = std::snprintf(line, sizeof line, "%ld.%06ld\t%ld\trsh\tcached\t%s\n",
                                   static_cast<long>(now.tv_sec), now.tv_nsec / 1000,
                                   static_cast<long>(getpid()), command.c_str());
  const int log =
      open((state + "/" + host + "/invocations.log").c_str(), O_WRONLY | O_APPEND | O_CREAT, 0644);
  if (log < 0) return;
  if (length > 0) (void)!write(log, line, static_cast<size_t>(length));
  close(log);
}

// Runs the real client with this one's arguments, its output into `path`.
int ask_real_client(const std::string& real, char** argv, const std::string& path) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  argv[0] = const_cast<char*>("rsh");
  pid_t pid = 0;
  const int failed = posix_spawn(&pid, real.c_str(), &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  if (failed != 0) return 127;
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string replies = env_or("STANDIN_REPLIES", "");
  const std::string real = env_or("STANDIN_REAL", "");
  if (argc < 3 || replies.empty() || real.empty()) {
    std::fprintf(stderr, "standin: needs HOST ... COMMAND, STANDIN_REPLIES and STANDIN_REAL\n");
    return 2;
  }
  const std::string host = argv[1];
  const std::string command = argv[argc - 1];
  const std::string reply = replies + "/" + hex_key(host + '\t' + command);

  struct stat info;
  if (stat(reply.c_str(), &info) == 0) {
    const long latency = std::atol(env_or("STANDIN_LATENCY_MS", "0").c_str());
    log_invocation(host, command);
    if (latency > 0) {
      timespec wait = {latency / 1000, (latency % 1000) * 1000000L};
      nanosleep(&wait, nullptr);
    }
    return copy_to_stdout(reply) ? 0 : 1;
  }
  // First time: the simulator answers; its reply is kept only when whole.
  const std::string partial = reply + "." + std::to_string(getpid());
  const int status = ask_real_client(real, argv, partial);
  copy_to_stdout(partial);
  if (status == 0) {
    rename(partial.c_str(), reply.c_str());
  } else {
    unlink(partial.c_str());
  }
  return status;
}
