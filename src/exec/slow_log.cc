#include "exec/slow_log.h"

#include <mutex>

#include "core/messages.h"
#include "core/state.h"
#include "exec/temp_dir.h"

namespace exec {

void add_slow_command(const std::string& command, const std::string& target, int iteration,
                      int seconds) {
  core::RunState& st = core::state();
  static std::mutex* lock = new std::mutex;  // controllers are collected side by side
  std::unique_lock<std::mutex> hold(*lock);
  if (st.slow_commands.size() >= kSlowCommandCapacity) {
    const std::string warning =
        "WARNING: Internal command log full of commands that took > 60 seconds to execute!";
    hold.unlock();
    append_error_log(warning);
    core::debug_line(warning);
    core::debug_line("Please check error log for more details");
    return;
  }
  st.slow_commands.push_back({command, target, iteration, seconds});
}

void note_command_time(const std::string& command, const std::string& target, int seconds) {
  if (seconds >= kSlowCommandSeconds) {
    add_slow_command(command, target, core::state().iteration, seconds);
  }
}

void print_slow_command_report() {
  append_error_log(
      core::format("=== Report of Commands that took longer than %d seconds to execute ===",
                   kSlowCommandSeconds));
  append_error_log("Host\t\tIteration\t\tTotal_Time\t\tCommand");
  for (const core::SlowCommand& entry : core::state().slow_commands) {
    append_error_log(core::format("%s\t\t%d\t\t%ds\t\t%s", entry.target.c_str(), entry.iteration,
                                  entry.seconds, entry.command.c_str()));
  }
  append_error_log("=== End Command Report ===");
}

}  // namespace exec
