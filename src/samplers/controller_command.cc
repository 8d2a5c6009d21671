// The worker of a long-running controller command (sysstat, stats show, lun
// stats, vif stat): its output goes into the job's file between two stamps.
#include "controller/remote_shell.h"
#include "core/messages.h"
#include "exec/temp_dir.h"
#include "exec/wrappers.h"
#include "platform/platform.h"
#include "samplers/jobs.h"

namespace samplers {

namespace {

// The controller line of the job, built by the one place that builds them.
std::string remote_line(const BackgroundJob& job, const std::string& command) {
  core::FilerTarget filer;
  filer.shell_prefix = job.controller.shell_prefix;
  filer.priv_prefix = job.controller.priv_prefix;
  filer.priv_suffix = job.controller.priv_suffix;
  return controller::filer_command_line(filer, command);
}

}  // namespace

std::string job_command_line(const BackgroundJob& job, const std::string& command) {
  return platform::shell::interpreter(remote_line(job, command) + ">> \"" + job.output_path +
                                      "\" 2> " + platform::shell::null_device());
}

void fbackground_thread(void* raw) {
  const BackgroundJob& job = *static_cast<const BackgroundJob*>(raw);
  job_debug(job, "Start fbackground_thread", job.command);
  exec::append_begin_line(job.output_path);

  int error_code = 0;
  switch (run_job_command(job, job_command_line(job, job.command), job.command, error_code)) {
    case ChildOutcome::kNotStarted:
      exec::append_error_log(
          core::format("ERROR (%d): Failed to create process %s", error_code, job.command.c_str()));
      break;
    case ChildOutcome::kTimedOut:
      job_debug(job, "WARNING: Timed out on command: " + job.command);
      break;
    case ChildOutcome::kStopped:
      job_debug(job, "WARNING: Stopped at the end of the sampling wait: " + job.command);
      break;
    case ChildOutcome::kCapped:
    case ChildOutcome::kEnded:
      break;
  }

  exec::append_begin_line(job.output_path);
  job_debug(job, "End fbackground thread", job.command);
}

}  // namespace samplers
