#include "exec/query.h"

#include <cstdio>
#include <fstream>

#include "core/interrupt_gate.h"
#include "core/messages.h"
#include "core/state.h"
#include "exec/outside_text.h"
#include "exec/reply_lines.h"
#include "exec/runner.h"
#include "exec/temp_dir.h"
#include "platform/platform.h"

namespace exec {

bool run_bounded(const std::string& line, const std::string& reply_path) {
  core::hold_if_interrupted();
  // Whatever the command prints beyond its redirections is not report text.
  platform::Child child;
  int error_code = 0;
  const bool started = platform::start_child(platform::shell::interpreter(line), child, error_code,
                                             discard_output());
  if (!started) {
    append_error_log(core::format("ERROR (%d): Failed to create process to execute command %s",
                                  error_code, mask_password(line).c_str()));
    return false;
  }
  std::vector<WatchedFile> watched;
  if (!reply_path.empty()) watched.push_back({reply_path});
  size_t over = 0;
  bool killed = false;
  switch (wait_watching(child, core::state().options.command_timeout_ms, nullptr, watched, over)) {
    case Watched::kExited:
    case Watched::kStopped:
      break;
    case Watched::kOverCap:
      platform::kill_child_tree(child);
      append_error_log(
          cut_file_at_cap(reply_path, kControllerFileCap, "The command " + mask_password(line)));
      break;
    case Watched::kTimedOut:
      append_error_log("WARNING: Timed out on command: " + mask_password(line) +
                       ". Terminating the command process...");
      if (!platform::kill_child_tree(child)) {
        append_error_log(core::format("Unable to kill process tree rooted at PID %ld", child.pid));
      }
      killed = true;
      break;
  }
  platform::close_child(child);
  for (const std::string& note :
       cut_files_over_cap(watched, "The command " + mask_password(line))) {
    append_error_log(note);
  }
  return killed;
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
  if (given_up(collection)) return {};
  // Empty, so a query killed before its redirection took effect reads as
  // an empty reply; a full disk is told here, not taken for a silent controller.
  probe_writable(path);
  if (run_bounded(collection.remote_command_line(command) + " > \"" + path + "\" 2> " +
                      platform::shell::null_device(),
                  path)) {
    give_up_if_interrupted(collection);
  }
  return read_reply(path, command);
}

std::vector<std::string> list_filer_directory(const core::Collection& collection,
                                              const std::string& folder) {
  const std::string& path = collection.listing_path;
  if (given_up(collection)) return {};
  // Empty, so a query killed before its redirection took effect reads as
  // an empty reply; a full disk is told here, not taken for a silent controller.
  probe_writable(path);
  if (run_bounded(collection.remote_command_line("ls " + folder) + " 2> \"" + path + "\" ", path)) {
    give_up_if_interrupted(collection);
  }
  return read_reply(path, "ls " + folder);
}

}  // namespace exec
