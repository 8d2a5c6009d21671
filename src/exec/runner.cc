#include "exec/runner.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <vector>

#include "core/interrupt_gate.h"
#include "core/messages.h"
#include "core/state.h"
#include "exec/outside_text.h"
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

namespace {}  // namespace

std::string command_output_file(const core::Collection& collection) {
  if (!collection.output_path.empty()) return collection.output_path;
  return core::state().temp_dir + "cmdout";
}

namespace {

// A file of the run's own that cannot be written: the report would miss
// what the command prints, so the run ends as for a closed report.
[[noreturn]] void end_on_scratch_failure(const std::string& path, int error_number) {
  report_write_failure(path, error_number);
  core::error_line("FATAL: A command's output cannot be kept in \"" + path + "\"; ending the run");
  core::exit_run(1);
}

}  // namespace

void end_if_text_lost(std::FILE* out, bool failed) {
  if (out == stdout || !failed) {
    core::end_if_report_closed();
    if (!failed) return;
  }
  core::error_line(
      "FATAL: The report text of a controller cannot be written to its spool file; "
      "ending the run");
  core::exit_run(1);
}

void copy_output_into_report(const std::string& path, std::FILE* out, bool screened) {
  bool out_failed = false;
  const bool copied =
      screened ? copy_outside_text(path, out, out_failed) : copy_own_text(path, out, out_failed);
  if (!copied && !out_failed) {
    end_on_scratch_failure(path, errno);
  }
  end_if_text_lost(out, out_failed);
}

bool given_up(const core::Collection& collection) {
  return collection.filer != nullptr && collection.filer->given_up && core::interrupt_taken();
}

void give_up_if_interrupted(const core::Collection& collection) {
  if (collection.filer == nullptr || collection.filer->given_up) return;
  if (!core::interrupt_taken() || !core::passes_gates()) return;
  collection.filer->given_up = true;
  const std::string message = core::format(
      "WARNING: %s did not answer within the command time-out; no more commands are sent to it "
      "in this poststats",
      collection.filer->name.c_str());
  std::fprintf(collection.out, "%s\n", message.c_str());
  append_error_log(message);
  core::error_line(message);
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

  // The child writes into a file of the scratch folder, never into the
  // report itself: what it prints is bounded there and screened on its way
  // into the report.
  const std::string capture = command_output_file(collection);
  std::FILE* output = std::fopen(capture.c_str(), "wb");
  if (output == nullptr) end_on_scratch_failure(capture, errno);
  std::setvbuf(output, nullptr, _IONBF, 0);

  platform::Child child;
  int error_code = 0;
  if (!platform::start_child(command_line, child, error_code, output)) {
    std::fclose(output);
    append_error_log(core::format("ERROR (%d): Failed to create process to execute command %s",
                                  error_code, display.c_str()));
    return;
  }

  std::vector<WatchedFile> watched = {{capture, kCommandOutputCap}};
  if (!collection.stderr_path.empty()) watched.push_back({collection.stderr_path});
  bool killed = false;
  switch (wait_watching(child, core::state().options.command_timeout_ms, nullptr, watched)) {
    case Watched::kExited:
    case Watched::kStopped:
      break;
    case Watched::kOverCap:
      platform::kill_child_tree(child, output);
      break;
    case Watched::kTimedOut:
      core::debug_line("WARNING: Timed out on command: " + display +
                       ". Terminating the command process...");
      // The kill line starts a line of its own, where the reader finds it.
      if (ends_mid_line(capture)) std::fputc('\n', output);
      if (!kill_process_tree(child, output)) {
        std::string message = core::format("FATAL (errno: %d): Unable to kill command process %s",
                                           platform::last_error(), display.c_str());
        std::fprintf(output, "%s\n", message.c_str());
        std::fclose(output);
        copy_output_into_report(capture, collection.out);
        append_error_log(message);
        core::error_line(message);  // the error log goes with the run
        platform::close_child(child);
        core::exit_run(1);
      }
      killed = true;
      break;
  }
  platform::close_child(child);
  std::fclose(output);
  for (const std::string& note : cut_files_over_cap(watched, "The command " + display)) {
    append_error_log(note);
  }
  copy_output_into_report(capture, collection.out);
  if (killed) give_up_if_interrupted(collection);
}

}  // namespace exec
