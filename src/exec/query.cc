#include "exec/query.h"

#include <cstdio>
#include <fstream>

#include "core/interrupt_gate.h"
#include "core/messages.h"
#include "core/state.h"
#include "exec/reply_lines.h"
#include "exec/runner.h"
#include "exec/temp_dir.h"
#include "platform/platform.h"

namespace exec {

void run_bounded(const std::string& line) {
  core::hold_if_interrupted();
  platform::Child child;
  int error_code = 0;
  if (!platform::start_child(platform::shell::interpreter(line), child, error_code)) {
    append_error_log(core::format("ERROR (%d): Failed to create process to execute command %s",
                                  error_code, mask_password(line).c_str()));
    return;
  }
  if (platform::wait_child(child, core::state().options.command_timeout_ms) ==
      platform::WaitResult::kTimedOut) {
    append_error_log("WARNING: Timed out on command: " + mask_password(line) +
                     ". Terminating the command process...");
    if (!platform::kill_child_tree(child)) {
      append_error_log(core::format("Unable to kill process tree rooted at PID %ld", child.pid));
    }
  }
  platform::close_child(child);
}

namespace {

std::vector<std::string> read_reply(const std::string& path, const std::string& command) {
  std::ifstream reply(path, std::ios::binary);
  if (!reply) {
    core::error_line("Fatal: Couldn't open " + path + " for reading.");
    core::exit_run(1);
  }
  bool truncated = false;
  std::vector<std::string> lines = read_reply_lines(reply, truncated);
  if (truncated) {
    append_error_log(core::format(
        "WARNING: The reply to \"%s\" held lines longer than %zu characters or more than %zu "
        "lines; the excess was not read",
        command.c_str(), kReplyLineLimit, kReplyMaxLines));
  }
  return lines;
}

}  // namespace

std::vector<std::string> capture_filer_query(const core::Collection& collection,
                                             const std::string& command) {
  const std::string& path = collection.reply_path;
  // Empty, so a query killed before its redirection took effect reads as
  // an empty reply; a full disk is told here, not taken for a silent controller.
  probe_writable(path);
  run_bounded(collection.remote_command_line(command) + " > \"" + path + "\" 2> " +
              platform::shell::null_device());
  return read_reply(path, command);
}

std::vector<std::string> list_filer_directory(const core::Collection& collection,
                                              const std::string& folder) {
  const std::string& path = collection.listing_path;
  // Empty, so a query killed before its redirection took effect reads as
  // an empty reply; a full disk is told here, not taken for a silent controller.
  probe_writable(path);
  run_bounded(collection.remote_command_line("ls " + folder) + " 2> \"" + path + "\" ");
  return read_reply(path, "ls " + folder);
}

}  // namespace exec
