// Prints what starting a foreground command costs at three levels: a bare
// posix_spawn of the same shell (POSIX only), the platform layer's
// start_child, and the whole command runner; and their ratios to the bare
// spawn. Each level gives its wall time and the starting process's own CPU
// time (its threads, not the children's) per command.
// With --paced SECONDS RATE it only starts bare spawns, RATE a second for
// SECONDS, and prints their own CPU per start: the floor of what starting a
// command costs beside another load (scripts/bench-samplers runs it so).
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#ifndef _WIN32
#include <spawn.h>
#include <sys/resource.h>
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

// This process's own CPU seconds so far (0 where the system does not say).
double own_cpu_seconds() {
#ifndef _WIN32
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
#else
  return 0;
#endif
}

// Wall and own CPU seconds per round of `body`.
struct Cost {
  double wall = 0;
  double cpu = 0;
};

template <typename Body>
Cost measure(int rounds, Body body) {
  const double cpu_start = own_cpu_seconds();
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < rounds; ++i) body();
  return {seconds_since(start) / rounds, (own_cpu_seconds() - cpu_start) / rounds};
}

void print_cost(const char* label, const Cost& cost) {
  std::printf("%-27s %.3f ms wall, %.0f us own CPU per command\n", label, cost.wall * 1000,
              cost.cpu * 1e6);
}

#ifndef _WIN32
// The floor: /bin/sh -c started and waited for with nothing around it.
Cost bare_spawn_cost(int rounds) {
  char* argv[] = {const_cast<char*>("sh"), const_cast<char*>("-c"), const_cast<char*>("exit 0"),
                  nullptr};
  return measure(rounds, [&] {
    pid_t pid = 0;
    if (posix_spawn(&pid, "/bin/sh", nullptr, nullptr, argv, environ) != 0) std::exit(1);
    int status = 0;
    waitpid(pid, &status, 0);
  });
}
#endif

#ifndef _WIN32
int paced_spawns(int seconds, int rate) {
  if (seconds <= 0 || rate <= 0) return 2;
  const int rounds = seconds * rate;
  const auto period = std::chrono::microseconds(1000000 / rate);
  auto next = std::chrono::steady_clock::now();
  const Cost cost = measure(rounds, [&] {
    next += period;
    std::this_thread::sleep_until(next);
    bare_spawn_cost(1);
  });
  std::printf("bare posix_spawn beside the load: %d starts, %.0f us own CPU per start\n", rounds,
              cost.cpu * 1e6);
  return 0;
}
#endif

}  // namespace

int main(int argc, char** argv) {
#ifndef _WIN32
  if (argc == 4 && std::strcmp(argv[1], "--paced") == 0) {
    return paced_spawns(std::atoi(argv[2]), std::atoi(argv[3]));
  }
#endif
  const int rounds = argc > 1 ? std::atoi(argv[1]) : 200;
  const std::string command = platform::shell::interpreter("exit 0");

  core::RunState& st = core::state();
  st.host_name = "bench";
  st.log_mutex = platform::create_mutex();
  platform::prepare_process();
  exec::setup_temp_dir();

#ifndef _WIN32
  const Cost bare = bare_spawn_cost(rounds);
#endif

  const Cost platform_start = measure(rounds, [&] {
    platform::Child child;
    int error = 0;
    if (!platform::start_child(command, child, error)) std::exit(1);
    platform::wait_child(child, -1);
    platform::close_child(child);
  });
  const Cost runner = measure(rounds, [&] { exec::run_command(core::Collection{}, command); });

  exec::destroy_temp_dir();
  std::printf("rounds:                     %d\n", rounds);
#ifndef _WIN32
  print_cost("bare posix_spawn and wait:", bare);
#endif
  print_cost("start_child and wait:", platform_start);
  print_cost("run_command:", runner);
#ifndef _WIN32
  std::printf("ratio start_child / bare:   %.3f wall, %.3f CPU\n", platform_start.wall / bare.wall,
              platform_start.cpu / bare.cpu);
  std::printf("ratio runner / bare:        %.3f wall, %.3f CPU\n", runner.wall / bare.wall,
              runner.cpu / bare.cpu);
#endif
  return 0;
}
