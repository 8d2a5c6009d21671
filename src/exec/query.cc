#include "exec/query.h"

#include <cstdio>
#include <fstream>

#include "controller/remote_shell.h"
#include "exec/runner.h"
#include "exec/temp_dir.h"
#include "platform/platform.h"
#include "run/messages.h"
#include "run/state.h"

namespace exec {

void run_bounded(const std::string& line) {
  platform::Child child;
  int error_code = 0;
  if (!platform::start_child(platform::shell::interpreter(line), child, error_code)) {
    append_error_log(run::format("ERROR (%d): Failed to create process to execute command %s",
                                 error_code, mask_password(line).c_str()));
    return;
  }
  if (platform::wait_child(child, run::state().options.command_timeout_ms) ==
      platform::WaitResult::kTimedOut) {
    append_error_log("WARNING: Timed out on command: " + mask_password(line) +
                     ". Terminating the command process...");
    if (!platform::kill_child_tree(child)) {
      append_error_log(run::format("Unable to kill process tree rooted at PID %ld", child.pid));
    }
  }
  platform::close_child(child);
}

namespace {

std::vector<std::string> read_reply(const std::string& path) {
  std::ifstream reply(path);
  if (!reply) {
    std::fprintf(stderr, "Fatal: Couldn't open %s for reading.\n", path.c_str());
    run::exit_run(1);
  }
  std::vector<std::string> lines;
  std::string line;
  while (std::getline(reply, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

// Empties the reply file first, so a query that was killed before its
// redirection took effect reads as an empty reply, not the previous one.
void truncate_file(const std::string& path) {
  std::ofstream(path, std::ios::trunc);
}

}  // namespace

std::vector<std::string> capture_filer_query(const std::string& command) {
  const std::string path = run::state().temp_dir + "tmp.out";
  truncate_file(path);
  run_bounded(controller::filer_command_line(run::current_filer(), command) + " > \"" + path +
              "\" 2> " + platform::shell::null_device());
  return read_reply(path);
}

std::vector<std::string> list_filer_directory(const std::string& folder) {
  const std::string path = run::state().temp_dir + "lsout";
  truncate_file(path);
  run_bounded(controller::filer_command_line(run::current_filer(), "ls " + folder) + " 2> \"" +
              path + "\" ");
  return read_reply(path);
}

}  // namespace exec
