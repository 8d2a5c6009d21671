// Prints what starting a foreground command costs at three levels: a bare
// posix_spawn of the same shell (POSIX only), the platform layer's
// start_child, and the whole command runner; and their ratios to the bare
// spawn.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#ifndef _WIN32
#include <spawn.h>
#include <sys/wait.h>
extern char** environ;
#endif

#include "core/state.h"
#include "exec/runner.h"
#include "exec/temp_dir.h"
#include "platform/platform.h"

namespace {

double seconds_since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

#ifndef _WIN32
// The floor: /bin/sh -c started and waited for with nothing around it.
double bare_spawn_seconds(int rounds) {
  char* argv[] = {const_cast<char*>("sh"), const_cast<char*>("-c"), const_cast<char*>("exit 0"),
                  nullptr};
  auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < rounds; ++i) {
    pid_t pid = 0;
    if (posix_spawn(&pid, "/bin/sh", nullptr, nullptr, argv, environ) != 0) std::exit(1);
    int status = 0;
    waitpid(pid, &status, 0);
  }
  return seconds_since(start) / rounds;
}
#endif

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::atoi(argv[1]) : 200;
  const std::string command = platform::shell::interpreter("exit 0");

  core::RunState& st = core::state();
  st.host_name = "bench";
  st.log_mutex = platform::create_mutex();
  platform::prepare_process();
  exec::setup_temp_dir();

#ifndef _WIN32
  const double bare = bare_spawn_seconds(rounds);
#endif

  auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < rounds; ++i) {
    platform::Child child;
    int error = 0;
    if (!platform::start_child(command, child, error)) return 1;
    platform::wait_child(child, -1);
    platform::close_child(child);
  }
  const double platform_start = seconds_since(start) / rounds;

  start = std::chrono::steady_clock::now();
  for (int i = 0; i < rounds; ++i) exec::run_command(core::Collection{}, command);
  const double runner = seconds_since(start) / rounds;

  exec::destroy_temp_dir();
  std::printf("rounds:                    %d\n", rounds);
#ifndef _WIN32
  std::printf("bare posix_spawn and wait: %.3f ms per command\n", bare * 1000);
#endif
  std::printf("start_child and wait:      %.3f ms per command\n", platform_start * 1000);
  std::printf("run_command:               %.3f ms per command\n", runner * 1000);
#ifndef _WIN32
  std::printf("ratio start_child / bare:  %.3f\n", platform_start / bare);
  std::printf("ratio runner / bare:       %.3f\n", runner / bare);
#endif
  return 0;
}
