#include "exec/runner.h"

#include <cstdio>

#include "exec/temp_dir.h"
#include "phases/stats_presets.h"
#include "run/interrupt.h"
#include "run/messages.h"
#include "run/state.h"

namespace exec {

std::string mask_password(const std::string& text) {
  const std::string& password = run::state().options.password;
  std::string masked = text;
  if (password.empty()) return masked;
  size_t at = 0;
  while ((at = masked.find(password, at)) != std::string::npos) {
    masked.replace(at, password.size(), password.size(), '*');
    at += password.size();
  }
  return masked;
}

const std::string* matching_exclusion(const std::string& command_line) {
  for (const std::string& pattern : run::state().options.exclude_patterns) {
    if (command_line.find(pattern) != std::string::npos) return &pattern;
  }
  return nullptr;
}

bool kill_process_tree(platform::Child& child) {
  std::printf("Killing process tree at PID: %ld...\n", child.pid);
  if (!platform::kill_child_tree(child)) {
    std::string message = run::format(
        "Unable to kill process tree rooted at PID %ld using Windows command: 'taskkill'",
        child.pid);
    std::printf("FATAL: %s\n", message.c_str());
    std::fprintf(stderr, "FATAL: %s\n", message.c_str());
    return false;
  }
  append_error_log(run::format("Successfully killed process tree at root PID: %ld", child.pid));
  return true;
}

void run_command(const std::string& command_line) {
  run::hold_if_interrupted();  // after Ctrl+C only the handler runs commands
  const std::string display = mask_password(command_line);

  if (matching_exclusion(command_line) != nullptr) {
    std::printf("Excluded: %s\n", display.c_str());
    std::string message = "Command excluded: " + display;
    append_error_log(message);
    run::debug_line(message);
    return;
  }

  if (run::state().current_services.legacy_stats) phases::stats_timing_hook(command_line);

  append_error_log(display);

  platform::Child child;
  int error_code = 0;
  if (!platform::start_child(command_line, child, error_code)) {
    append_error_log(run::format("ERROR (%d): Failed to create process to execute command %s",
                                 error_code, display.c_str()));
    return;
  }

  if (platform::wait_child(child, run::state().options.command_timeout_ms) ==
      platform::WaitResult::kTimedOut) {
    run::debug_line("WARNING: Timed out on command: " + display +
                    ". Terminating the command process...");
    if (!kill_process_tree(child)) {
      std::string message = run::format("FATAL (errno: %d): Unable to kill command process %s",
                                        platform::last_error(), display.c_str());
      std::printf("%s\n", message.c_str());
      append_error_log(message);
      std::fprintf(stderr, "%s\n", message.c_str());  // the error log goes with the run
      platform::close_child(child);
      run::exit_run(1);
    }
  }
  platform::close_child(child);
}

}  // namespace exec
