#include "exec/wrappers.h"

#include <cerrno>
#include <cstdio>

#include "core/interrupt_gate.h"
#include "core/messages.h"
#include "core/state.h"
#include "exec/runner.h"
#include "exec/slow_log.h"
#include "exec/temp_dir.h"
#include "platform/platform.h"

namespace exec {

std::string gmt_timestamp() {
  std::tm utc = platform::utc_time(platform::now_epoch_seconds());
  char text[256];
  size_t length = std::strftime(text, sizeof text, "%a %b %d %X GMT %Y", &utc);
  return std::string(text, length);
}

void print_epoch_line(std::FILE* out) {
  std::fprintf(out, "KESTREL_EPOCH: %lld\n", static_cast<long long>(platform::now_epoch_seconds()));
  core::end_if_report_closed();
}

void replace_all(std::string& text, const std::string& search, const std::string& replacement) {
  if (search.empty()) return;
  size_t at = 0;
  while ((at = text.find(search, at)) != std::string::npos) {
    text.replace(at, search.size(), replacement);
    at += replacement.size();
  }
}

std::string friendly_name(const std::string& command) {
  std::string work = command;
  replace_all(work, "\"", "");
  const std::string& temp_dir = core::state().temp_dir;
  if (temp_dir.empty() || work.find(platform::shell::type_verb() + temp_dir) == std::string::npos) {
    return command;
  }
  std::string name = work.substr(work.find_last_of(platform::shell::path_separator()) + 1);
  append_error_log("user-friendly name for " + command + " is " + name);
  return name;
}

void print_command_marker(const core::Collection& collection, const std::string& command) {
  std::fprintf(collection.out, "=-=-=-=-=-= %s =-=-=-=-=-= %s\n", collection.section.c_str(),
               friendly_name(command).c_str());
  core::end_if_report_closed();
}

void echo_through_interpreter(const std::string& text, std::FILE* out) {
  echo_through_interpreter(core::Collection{}, text, out);
}

void echo_through_interpreter(const core::Collection& collection, const std::string& text,
                              std::FILE* out) {
  core::hold_if_interrupted();
  const std::string path = command_output_file(collection);
  std::FILE* echo = std::fopen(path.c_str(), "wb");
  if (echo == nullptr) {
    report_write_failure(path, errno);
    core::exit_run(1);
  }
  platform::run_shell(platform::shell::echo_line(text), echo);
  std::fclose(echo);
  copy_output_into_report(path, out, false);
}

const std::string& stderr_file(const core::Collection& collection) {
  return collection.stderr_path.empty() ? core::state().error_log_path : collection.stderr_path;
}

std::string with_errors_logged(const core::Collection& collection, const std::string& line) {
  return line + " 2>>\"" + stderr_file(collection) + "\"";
}

void log_command_errors(const core::Collection& collection) {
  if (!collection.stderr_path.empty()) move_into_error_log(collection.stderr_path);
}

namespace {

// Runs a framed command line and prints the lines that close its section.
// Returns the elapsed whole seconds.
int run_framed(const core::Collection& collection, const std::string& command,
               const std::string& command_line) {
  core::hold_if_interrupted();  // before the marker line
  print_command_marker(collection, command);
  std::int64_t started = platform::now_epoch_seconds();
  run_command(collection, command_line);
  int elapsed = static_cast<int>(platform::now_epoch_seconds() - started);
  std::fprintf(collection.out, "\nEXE-TIME of: %s : %d seconds\n", command.c_str(), elapsed);
  print_epoch_line(collection.out);
  std::fprintf(collection.out, "\n");
  log_command_errors(collection);
  return elapsed;
}

}  // namespace

void run_host_command(const core::Collection& collection, const std::string& command) {
  core::RunState& st = core::state();
  if (st.options.pretend) {
    echo_through_interpreter(collection, "Host: " + command, collection.out);
    return;
  }
  std::string line =
      platform::shell::interpreter(command + " 2>>\"" + stderr_file(collection) + "\"");
  int elapsed = run_framed(collection, command, line);
  note_command_time(command, st.host_name, elapsed);
}

void run_filer_command(const core::Collection& collection, const std::string& command) {
  core::RunState& st = core::state();
  if (st.options.pretend) {
    echo_through_interpreter(collection, "Filer: " + command, collection.out);
    return;
  }
  if (given_up(collection)) return;
  std::string line = platform::shell::interpreter(collection.remote_command_line(command) +
                                                  " 2>>\"" + stderr_file(collection) + "\"");
  int elapsed = run_framed(collection, command, line);
  note_command_time(command, collection.filer->name, elapsed);
}

void append_begin_line(const std::string& path) {
  platform::append_line_to_file("Begin: " + gmt_timestamp(), path);
}

void register_temp_file(const core::Collection& collection, const std::string& path) {
  collection.temp_files->push_back("\"" + path + "\"");
}

void dump_temp_files(const core::Collection& collection) {
  if (core::state().options.pretend || collection.temp_files == nullptr) return;
  core::debug_line("Dump temp files");
  for (const std::string& entry : *collection.temp_files) {
    run_host_command(collection, platform::shell::type_file(entry));
    std::fprintf(collection.out, "\n");
  }
}

}  // namespace exec
