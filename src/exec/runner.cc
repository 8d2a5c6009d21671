#include "exec/runner.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "core/interrupt_gate.h"
#include "core/messages.h"
#include "core/state.h"
#include "exec/temp_dir.h"

namespace exec {

std::string mask_password(const std::string& text) {
  const core::RunOptions& options = core::state().options;
  // Every occurrence of every secret is marked in the original text before
  // anything is replaced, so secrets that overlap or hold one another are
  // covered whole.
  std::vector<bool> hidden(text.size(), false);
  auto mark = [&](const std::string& secret) {
    if (secret.empty()) return;
    for (size_t at = text.find(secret); at != std::string::npos; at = text.find(secret, at + 1)) {
      std::fill(hidden.begin() + static_cast<long>(at),
                hidden.begin() + static_cast<long>(at + secret.size()), true);
    }
  };
  mark(options.password);
  for (const std::string& secret : options.secrets) mark(secret);
  std::string masked = text;
  for (size_t i = 0; i < masked.size(); ++i) {
    if (hidden[i]) masked[i] = '*';
  }
  return masked;
}

const std::string* matching_exclusion(const std::string& command_line) {
  for (const std::string& pattern : core::state().options.exclude_patterns) {
    if (command_line.find(pattern) != std::string::npos) return &pattern;
  }
  return nullptr;
}

std::FILE* child_output(std::FILE* out) {
  return out == stdout ? nullptr : out;
}

bool kill_process_tree(platform::Child& child, std::FILE* out) {
  std::fprintf(out, "Killing process tree at PID: %ld...\n", child.pid);
  if (!platform::kill_child_tree(child, child_output(out))) {
    std::string message = core::format(
        "Unable to kill process tree rooted at PID %ld using Windows command: 'taskkill'",
        child.pid);
    std::fprintf(out, "FATAL: %s\n", message.c_str());
    core::error_line("FATAL: " + message);
    return false;
  }
  append_error_log(core::format("Successfully killed process tree at root PID: %ld", child.pid));
  return true;
}

void run_command(const core::Collection& collection, const std::string& command_line) {
  core::hold_if_interrupted();  // after Ctrl+C only the handler runs commands
  const std::string display = mask_password(command_line);

  if (matching_exclusion(command_line) != nullptr) {
    std::fprintf(collection.out, "Excluded: %s\n", display.c_str());
    std::string message = "Command excluded: " + display;
    append_error_log(message);
    core::debug_line(message);
    return;
  }

  if (collection.before_command) collection.before_command(collection, command_line);

  append_error_log(display);

  platform::Child child;
  int error_code = 0;
  if (!platform::start_child(command_line, child, error_code, child_output(collection.out))) {
    append_error_log(core::format("ERROR (%d): Failed to create process to execute command %s",
                                  error_code, display.c_str()));
    return;
  }

  if (platform::wait_child(child, core::state().options.command_timeout_ms) ==
      platform::WaitResult::kTimedOut) {
    core::debug_line("WARNING: Timed out on command: " + display +
                     ". Terminating the command process...");
    if (!kill_process_tree(child, collection.out)) {
      std::string message = core::format("FATAL (errno: %d): Unable to kill command process %s",
                                         platform::last_error(), display.c_str());
      std::fprintf(collection.out, "%s\n", message.c_str());
      append_error_log(message);
      core::error_line(message);  // the error log goes with the run
      platform::close_child(child);
      core::exit_run(1);
    }
  }
  platform::close_child(child);
}

}  // namespace exec
