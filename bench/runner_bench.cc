// Prints what the command runner costs per foreground command next to the
// bare cost of starting and waiting for the same child through the platform
// layer, and their ratio.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/state.h"
#include "exec/runner.h"
#include "exec/temp_dir.h"
#include "platform/platform.h"

namespace {

double seconds_since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::atoi(argv[1]) : 200;
  const std::string command = platform::shell::interpreter("exit 0");

  core::RunState& st = core::state();
  st.host_name = "bench";
  st.log_mutex = platform::create_mutex();
  exec::setup_temp_dir();

  auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < rounds; ++i) {
    platform::Child child;
    int error = 0;
    if (!platform::start_child(command, child, error)) return 1;
    platform::wait_child(child, -1);
    platform::close_child(child);
  }
  double bare = seconds_since(start) / rounds;

  start = std::chrono::steady_clock::now();
  for (int i = 0; i < rounds; ++i) exec::run_command(core::Collection{}, command);
  double runner = seconds_since(start) / rounds;

  exec::destroy_temp_dir();
  std::printf("rounds:                 %d\n", rounds);
  std::printf("bare spawn and wait:    %.3f ms per command\n", bare * 1000);
  std::printf("run_command:            %.3f ms per command\n", runner * 1000);
  std::printf("ratio runner / bare:    %.3f\n", runner / bare);
  return 0;
}
