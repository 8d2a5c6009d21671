#include "exec/wrappers.h"

#include <cstdio>

#include "controller/remote_shell.h"
#include "exec/runner.h"
#include "exec/slow_log.h"
#include "exec/temp_dir.h"
#include "platform/platform.h"
#include "run/interrupt.h"
#include "run/messages.h"
#include "run/state.h"

namespace exec {

std::string gmt_timestamp() {
  std::tm utc = platform::utc_time(platform::now_epoch_seconds());
  char text[256];
  size_t length = std::strftime(text, sizeof text, "%a %b %d %X GMT %Y", &utc);
  return std::string(text, length);
}

void print_epoch_line() {
  std::printf("KESTREL_EPOCH: %lld\n", static_cast<long long>(platform::now_epoch_seconds()));
  run::end_if_report_closed();
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
  const std::string& temp_dir = run::state().temp_dir;
  if (temp_dir.empty() || work.find(platform::shell::type_verb() + temp_dir) == std::string::npos) {
    return command;
  }
  std::string name = work.substr(work.find_last_of(platform::shell::path_separator()) + 1);
  append_error_log("user-friendly name for " + command + " is " + name);
  return name;
}

void print_command_marker(const std::string& command) {
  std::printf("=-=-=-=-=-= %s =-=-=-=-=-= %s\n", run::state().current_section.c_str(),
              friendly_name(command).c_str());
  run::end_if_report_closed();
}

void echo_through_interpreter(const std::string& text) {
  run::hold_if_interrupted();
  platform::run_shell(platform::shell::echo_line(text));
}

namespace {

// Runs a framed command line and prints the lines that close its section.
// Returns the elapsed whole seconds.
int run_framed(const std::string& command, const std::string& command_line) {
  run::hold_if_interrupted();  // before the marker line
  print_command_marker(command);
  std::int64_t started = platform::now_epoch_seconds();
  run_command(command_line);
  int elapsed = static_cast<int>(platform::now_epoch_seconds() - started);
  std::printf("\nEXE-TIME of: %s : %d seconds\n", command.c_str(), elapsed);
  print_epoch_line();
  std::printf("\n");
  return elapsed;
}

}  // namespace

void run_host_command(const std::string& command) {
  run::RunState& st = run::state();
  if (st.options.pretend) {
    echo_through_interpreter("Host: " + command);
    return;
  }
  std::string line = platform::shell::interpreter(command + " 2>>\"" + st.error_log_path + "\"");
  int elapsed = run_framed(command, line);
  note_command_time(command, st.host_name, elapsed);
}

void run_filer_command(const std::string& command) {
  run::RunState& st = run::state();
  if (st.options.pretend) {
    echo_through_interpreter("Filer: " + command);
    return;
  }
  const run::FilerTarget& filer = run::current_filer();
  std::string line = platform::shell::interpreter(controller::filer_command_line(filer, command) +
                                                  " 2>>\"" + st.error_log_path + "\"");
  int elapsed = run_framed(command, line);
  note_command_time(command, filer.name, elapsed);
}

void append_begin_line(const std::string& path) {
  platform::run_shell(platform::shell::append_line("Begin: " + gmt_timestamp(), path));
}

void register_temp_file(const std::string& path) {
  run::state().temp_files.push_back("\"" + path + "\"");
}

void dump_temp_files(const std::string& filter) {
  run::RunState& st = run::state();
  if (st.options.pretend) return;
  run::debug_line("Dump temp files");
  // Files live in one folder per target; matching the whole folder keeps
  // controller sim1 from printing the files of sim10.
  const std::string folder = "\"" + st.temp_dir + filter + platform::shell::path_separator();
  for (const std::string& entry : st.temp_files) {
    if (entry.compare(0, folder.size(), folder) != 0) continue;
    run_host_command(platform::shell::type_file(entry));
    std::printf("\n");
  }
}

}  // namespace exec
