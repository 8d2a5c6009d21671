#include "samplers/profile_trace_files.h"

#include <algorithm>
#include <cstdio>
#include <fstream>

#include "controller/remote_shell.h"
#include "core/interrupt_gate.h"
#include "core/messages.h"
#include "core/state.h"
#include "exec/query.h"
#include "exec/reply_lines.h"
#include "exec/temp_dir.h"
#include "platform/platform.h"
#include "platform/threads.h"

namespace samplers {

namespace {

std::string joined(const std::string& folder, const std::string& name) {
  std::string path = folder;
  if (!path.empty() && path.back() != platform::shell::path_separator()) {
    path += platform::shell::path_separator();
  }
  return path + name;
}

// A failed copy leaves nothing behind and is told as such.
CopyResult copy_failed(const std::string& folder, const std::string& name, const std::string& why,
                       std::string& told) {
  platform::remove_private_file(folder, name);
  told = "Copy to " + joined(folder, name) + " failed: " + why + "; nothing was saved";
  return CopyResult::kFailed;
}

// Ends a copy: the cut line when it was cut, then the close.
CopyResult finish_copy(platform::PrivateFile& file, const std::string& folder,
                       const std::string& name, bool cut, std::uint64_t cap,
                       const std::string& earlier_problem, std::string& told) {
  std::string problem = earlier_problem;
  if (problem.empty() && cut) {
    const std::string line = "\n" + cut_copy_line(cap) + "\n";
    problem = platform::write_private_file(file, line.data(), line.size());
  }
  const std::string closing = platform::close_private_file(file);
  if (problem.empty()) problem = closing;
  if (!problem.empty()) return copy_failed(folder, name, problem, told);
  if (!cut) return CopyResult::kSaved;
  told = (core::format("%s was cut at %llu bytes: the controller sent more",
                       joined(folder, name).c_str(), static_cast<unsigned long long>(cap)));
  return CopyResult::kCut;
}

}  // namespace

std::string cut_copy_line(std::uint64_t cap) {
  return core::format("kestrel: cut here at %llu bytes; the controller sent more",
                      static_cast<unsigned long long>(cap));
}

CopyResult save_command_output(const std::string& remote_line, const std::string& folder,
                               const std::string& name, std::string& told, std::uint64_t cap) {
  platform::PrivateFile file;
  std::string problem = platform::create_private_file(folder, name, file);
  if (!problem.empty()) {
    told = "Copy to " + joined(folder, name) + " refused: " + problem;
    return CopyResult::kFailed;
  }
  core::hold_if_interrupted();
  const platform::OutputCopy copy =
      platform::copy_command_output(platform::shell::interpreter(remote_line), file, cap,
                                    core::state().options.command_timeout_ms);
  if (copy.write_error.empty()) {
    if (copy.timed_out)
      problem = "the command timed out";
    else if (copy.failed && copy.error_code != 0) {
      problem = core::format("the command could not start (error %d)", copy.error_code);
    } else if (copy.failed)
      problem = "the command failed";
    else if (copy.bytes == 0)
      problem = "the controller sent nothing";
  }
  if (!problem.empty()) {
    platform::close_private_file(file);
    return copy_failed(folder, name, problem, told);
  }
  return finish_copy(file, folder, name, copy.capped, cap, copy.write_error, told);
}

CopyResult save_file_copy(const std::string& source, const std::string& folder,
                          const std::string& name, std::string& told, std::uint64_t cap) {
  std::ifstream in(source, std::ios::binary);
  if (!in) {
    told = "Copy of " + source + " to " + joined(folder, name) + " failed: it cannot be read";
    return CopyResult::kFailed;
  }
  platform::PrivateFile file;
  std::string problem = platform::create_private_file(folder, name, file);
  if (!problem.empty()) {
    told = "Copy to " + joined(folder, name) + " refused: " + problem;
    return CopyResult::kFailed;
  }
  std::vector<char> buffer(1 << 16);
  std::uint64_t written = 0;
  bool cut = false;
  while (problem.empty() && in) {
    in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
    const auto got = static_cast<std::uint64_t>(in.gcount());
    if (got == 0) break;
    const std::uint64_t take = std::min(got, cap - written);
    problem = platform::write_private_file(file, buffer.data(), static_cast<std::size_t>(take));
    written += take;
    if (take < got) {
      cut = true;
      break;
    }
  }
  return finish_copy(file, folder, name, cut, cap, problem, told);
}

std::vector<std::string> list_controller_folder(const core::Collection& collection,
                                                const std::string& folder) {
  const std::string& path = collection.listing_path;
  // Empty, so a listing killed before its redirection took effect reads as
  // an empty one.
  exec::probe_writable(path);
  exec::run_bounded(collection.remote_command_line("ls " + folder) + " > \"" + path + "\" 2>&1");
  std::ifstream reply(path, std::ios::binary);
  bool truncated = false;
  std::vector<std::string> lines = exec::read_reply_lines(reply, truncated);
  if (truncated) {
    exec::append_error_log(core::format(
        "WARNING: The listing of %s held lines longer than %zu characters or more than %zu "
        "lines; the excess was not read",
        folder.c_str(), exec::kReplyLineLimit, exec::kReplyMaxLines));
  }
  return lines;
}

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

std::string padded_stamp(const std::tm& t) {
  return core::format("%d%02d%02d%02d%02d%02d", t.tm_year, t.tm_mon, t.tm_mday, t.tm_hour, t.tm_min,
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
