#include "samplers/jobs.h"

#include <climits>
#include <cstdio>

#include "core/messages.h"
#include "exec/outside_text.h"
#include "exec/temp_dir.h"
#include "exec/wrappers.h"
#include "platform/platform.h"
#include "platform/threads.h"

namespace samplers {

std::int64_t job_timeout_ms(int sample_minutes) {
  const std::int64_t sampling_ms = static_cast<std::int64_t>(sample_minutes) * 60000;
  return sampling_ms + sampling_ms / 10;
}

JobSettings settings_of(const core::RunOptions& options) {
  JobSettings settings;
  settings.debug = options.debug;
  settings.sample_interval = options.sample_interval;
  settings.sample_count = options.sample_count;
  settings.sampling_seconds = options.sampling_seconds;
  settings.stutter_statit = options.stutter_statit;
  settings.full_stutter_statit = options.full_stutter_statit;
  settings.interval_given = options.interval_given;
  return settings;
}

namespace {

WorkerRoutine routine_of(JobKind kind) {
  switch (kind) {
    case JobKind::kControllerCommand:
      return fbackground_thread;
    case JobKind::kHostCounters:
      return host_perfmon_thread;
    case JobKind::kStatitStutter:
      return fbackground_stutter_thread;
  }
  return nullptr;
}

}  // namespace

void start_background_job(const core::Collection& collection, JobKind kind,
                          const std::string& command, const std::string& file_name) {
  core::RunState& st = core::state();
  const core::RunOptions& o = st.options;
  if (!o.sampling_enabled) return;

  auto job = std::make_shared<BackgroundJob>();
  job->kind = kind;
  job->command = command;
  if (kind != JobKind::kHostCounters) {
    const core::FilerTarget& filer = *collection.filer;
    job->controller = {filer.name, filer.shell_prefix, filer.priv_prefix, filer.priv_suffix,
                       filer.statit_mode};
  }
  const std::string& target = kind == JobKind::kHostCounters ? st.host_name : job->controller.name;
  job->output_path = st.temp_dir + target + platform::shell::path_separator() + file_name;
  exec::register_temp_file(collection, job->output_path);
  job->settings = settings_of(o);
  job->timeout_ms = job_timeout_ms(o.sample_minutes);

  WorkerRoutine routine = routine_of(kind);
  if (routine == nullptr) {
    std::printf("FATAL: Unrecognized background type???\n");
    core::exit_run(1);
  }
  if (!start_background_thread(routine, job)) {
    std::fprintf(stderr, "FATAL: Failed to create background worker thread: %s\n", command.c_str());
    core::exit_run(1);
  }
}

bool start_background_thread(WorkerRoutine routine, std::shared_ptr<BackgroundJob> job) {
  core::BackgroundThreadTable& table = core::state().background_threads;
  if (table.stop == nullptr) table.stop = platform::create_stop_signal();
  job->stop = table.stop;
  job->deadline_ms = platform::monotonic_ms() + job->timeout_ms;
  platform::Thread* thread = platform::start_thread(routine, job.get());
  if (thread == nullptr) return false;
  table.threads.push_back({thread, job, job->command});
  return true;
}

int time_left_ms(const BackgroundJob& job) {
  const std::int64_t left = job.deadline_ms - platform::monotonic_ms();
  if (left <= 0) return 0;
  return left > INT_MAX ? INT_MAX : static_cast<int>(left);
}

void job_debug(const BackgroundJob& job, const std::string& text) {
  if (job.settings.debug) core::error_line("DEBUG: " + text);
}

void job_debug(const BackgroundJob& job, const std::string& text, const std::string& subject) {
  if (job.settings.debug) core::error_line("DEBUG: " + text + ": " + subject);
}

void append_job_line(const BackgroundJob& job, const std::string& text) {
  platform::append_line_to_file(text, job.output_path);
}

namespace {

void report_kill_failure(const std::string& command) {
  // Not on standard output: a worker never writes into the report.
  std::string message = core::format("ERROR (errno: %d): Unable to terminate command %s",
                                     platform::last_error(), command.c_str());
  core::error_line(message);
  exec::append_error_log(message);
}

// A command that ran into the job's time-out: the kill is told in the job's
// own file, which poststats prints in its place, and in the error log. The
// line is added once the client is gone: on Windows its redirection may
// hold the file against other writers while it runs.
void kill_timed_out(const BackgroundJob& job, platform::Child& child, const std::string& command) {
  const bool killed = platform::kill_child_tree(child);
  std::FILE* file = std::fopen(job.output_path.c_str(), "a");
  if (file != nullptr) {
    std::fprintf(file, "Killing process tree at PID: %ld...\n", child.pid);
    std::fclose(file);
  }
  if (!killed) {
    report_kill_failure(command);
    return;
  }
  exec::append_error_log(
      core::format("Successfully killed process tree at root PID: %ld", child.pid));
}

// Runs one command line of the job until it ends, `timeout_ms` passes,
// `stop` (may be nullptr) is raised or the job's file grows past its cap.
ChildOutcome run_watched(const BackgroundJob& job, const std::string& command_line,
                         const std::string& command, int timeout_ms, platform::StopSignal* stop,
                         int& error_code) {
  // The command writes into the job's file through its redirections; nothing
  // else it prints may reach the report, which a worker never writes.
  // One byte past the cap ends the writer where the system enforces it, and
  // tells the cut below that the file went over.
  const std::vector<exec::WatchedFile> watched = {{job.output_path}};
  platform::Child child;
  const bool started = platform::start_child(command_line, child, error_code,
                                             exec::discard_output(), watched[0].cap + 1);
  if (!started) return ChildOutcome::kNotStarted;
  ChildOutcome outcome = ChildOutcome::kEnded;
  // Elsewhere a look at the file's size every second keeps a flooding
  // controller from filling the disk. Where the writer is bounded, the
  // worker sleeps until its command ends or it is stopped: hundreds of
  // workers waking every second would cost more than their clients.
  const int check_ms = platform::child_file_cap_enforced() ? INT_MAX : kFileCheckMs;
  switch (exec::wait_watching(child, timeout_ms, stop, watched, check_ms)) {
    case exec::Watched::kExited:
      break;
    case exec::Watched::kTimedOut:
      outcome = ChildOutcome::kTimedOut;
      break;
    case exec::Watched::kStopped:
      outcome = ChildOutcome::kStopped;
      break;
    case exec::Watched::kOverCap:
      outcome = ChildOutcome::kCapped;
      break;
  }
  if (outcome == ChildOutcome::kTimedOut) {
    kill_timed_out(job, child, command);
  } else if (outcome != ChildOutcome::kEnded && !platform::kill_child_tree(child)) {
    report_kill_failure(command);
  }
  platform::close_child(child);
  for (const std::string& note : exec::cut_files_over_cap(watched, "The sampler " + command)) {
    exec::append_error_log(note);
    outcome = ChildOutcome::kCapped;
  }
  return outcome;
}

}  // namespace

ChildOutcome run_job_command(const BackgroundJob& job, const std::string& command_line,
                             const std::string& command, int& error_code) {
  return run_watched(job, command_line, command, time_left_ms(job), job.stop, error_code);
}

void run_job_cleanup(const BackgroundJob& job, const std::string& command_line,
                     const std::string& command, std::int64_t deadline_ms) {
  const std::int64_t left = deadline_ms - platform::monotonic_ms();
  if (left <= 0) return;
  int error_code = 0;
  if (run_watched(job, command_line, command, static_cast<int>(left), nullptr, error_code) ==
      ChildOutcome::kNotStarted) {
    exec::append_error_log(
        core::format("ERROR (%d): Failed to create process %s", error_code, command.c_str()));
  }
}

}  // namespace samplers
