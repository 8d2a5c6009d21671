#include "samplers/profile_trace_files.h"

#include "controller/remote_shell.h"
#include "core/messages.h"
#include "exec/temp_dir.h"
#include "platform/platform.h"
#include "platform/threads.h"

namespace samplers {

std::vector<std::string> listed_names(const std::string& filer_name,
                                      const std::vector<std::string>& listing,
                                      const std::string& needle, controller::ReplyName kind) {
  std::vector<std::string> names;
  for (const std::string& line : listing) {
    std::string name = line.substr(0, line.find(' '));
    if (name.find(needle) == std::string::npos) continue;
    if (!controller::screen_reply_name(filer_name, kind, name)) continue;
    if (names.size() == kMaxListedFiles) {
      controller::warn_once(
          core::format("%s: more than %zu %s files listed; only the first %zu "
                       "are copied",
                       filer_name.c_str(), kMaxListedFiles, needle.c_str(), kMaxListedFiles));
      break;
    }
    names.push_back(name);
  }
  return names;
}

std::string copy_stamp(const std::tm& t) {
  return core::format("%d%d%d%d%d%d", t.tm_year, t.tm_mon, t.tm_mday, t.tm_hour, t.tm_min,
                      t.tm_sec);
}

std::string copy_stamp_now() {
  return copy_stamp(platform::local_time(platform::now_epoch_seconds()));
}

std::string capture_command_line(const BackgroundJob& job, const std::string& command,
                                 const std::string& file, const std::string& redirect_tail) {
  core::FilerTarget filer;
  filer.shell_prefix = job.controller.shell_prefix;
  filer.priv_prefix = job.controller.priv_prefix;
  filer.priv_suffix = job.controller.priv_suffix;
  return platform::shell::interpreter(controller::filer_command_line(filer, command) + ">> \"" +
                                      file + "\"" + redirect_tail);
}

bool run_capture_command(const BackgroundJob& job, const std::string& command_line,
                         const std::string& command) {
  int error_code = 0;
  switch (run_job_command(job, command_line, command, error_code)) {
    case ChildOutcome::kEnded:
      return true;
    case ChildOutcome::kNotStarted:
      exec::append_error_log(
          core::format("ERROR (%d): Failed to create process %s", error_code, command.c_str()));
      return true;
    case ChildOutcome::kTimedOut:
    case ChildOutcome::kStopped:
    case ChildOutcome::kCapped:
      break;
  }
  job_debug(job, "WARNING: Stopped at the end of the sampling wait: " + command);
  return false;
}

bool capture_sleep(const BackgroundJob& job, int seconds) {
  const int wanted = seconds * 1000;
  const int left = time_left_ms(job);
  if (left < wanted) {
    platform::wait_for_stop(job.stop, left);
    return false;
  }
  return !platform::wait_for_stop(job.stop, wanted);
}

bool plain_option_value(const std::string& option, const std::string& value,
                        const std::string& extra, const std::string& what) {
  if (controller::is_plain_word(value, extra)) return true;
  controller::warn_once(
      core::format("The %s value \"%s\" holds characters a command line cannot "
                   "carry; %s are not captured",
                   option.c_str(), controller::printable(value).c_str(), what.c_str()));
  return false;
}

}  // namespace samplers
