// Background jobs: one job becomes one worker thread that writes one file of
// the scratch folder. A job carries copies of everything its worker reads,
// so workers never look at what the main thread keeps changing.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "core/collection.h"
#include "core/state.h"

namespace platform {
struct StopSignal;
}

namespace samplers {

enum class JobKind { kControllerCommand = 10, kHostCounters = 20, kStatitStutter = 30 };

// What a worker needs of its controller.
struct ControllerCopy {
  std::string name;
  std::string shell_prefix;
  std::string priv_prefix;
  std::string priv_suffix;
  int statit_mode = 0;
};

// The run settings a worker reads.
struct JobSettings {
  bool debug = false;
  int sample_interval = 10;    // I
  int sample_count = 12;       // C
  int sampling_seconds = 118;  // H
  bool stutter_statit = true;
  bool full_stutter_statit = false;
  bool interval_given = false;
};

struct BackgroundJob {
  JobKind kind = JobKind::kControllerCommand;
  std::string command;  // controller command; counter set for host counters
  std::string output_path;
  ControllerCopy controller;
  JobSettings settings;
  std::int64_t timeout_ms = 0;           // 110 percent of the sampling time
  std::int64_t deadline_ms = 0;          // start + time-out, on platform::monotonic_ms()
  platform::StopSignal* stop = nullptr;  // the iteration's; raised when the wait runs out
};

// 110 percent of the sampling time, in milliseconds.
std::int64_t job_timeout_ms(int sample_minutes);

JobSettings settings_of(const core::RunOptions& options);

// Starts a worker of `kind` for the current controller (or the host) that
// writes `file_name` in the target's folder, and registers that file for
// poststats. Does nothing with -t 0. Ends the run when no thread can start.
void start_background_job(const core::Collection& collection, JobKind kind,
                          const std::string& command, const std::string& file_name);

using WorkerRoutine = void (*)(void* job);

// Starts a thread and records it in the iteration's table. False (nothing
// recorded) when the thread cannot be created.
bool start_background_thread(WorkerRoutine routine, std::shared_ptr<BackgroundJob> job);

// The worker routines, each given its BackgroundJob.
void fbackground_thread(void* job);
void fbackground_stutter_thread(void* job);
void host_perfmon_thread(void* job);

enum class ChildOutcome { kEnded, kTimedOut, kStopped, kCapped, kNotStarted };

// How often a worker looks at the size of the file its command writes,
// where the system does not bound the writer (platform::start_child).
constexpr int kFileCheckMs = 1000;

// Runs one command line for the job until it ends, the job's time-out passes,
// the stop signal comes or the job's file grows past the cap of a
// controller's files; in all but the first case its process tree is killed
// (kCapped: the file is cut back to the cap, with a note in it and in the
// error log). A tree that cannot be killed is reported on standard error and in
// the error log with `command` (the text the messages show).
ChildOutcome run_job_command(const BackgroundJob& job, const std::string& command_line,
                             const std::string& command, int& error_code);

// How long the clean-up of one capture cut short may take in all; well
// inside the grace the sampling wait gives stopped workers.
constexpr int kCleanupMs = 10 * 1000;

// Runs a clean-up command (the profiler off, the trace stopped) for a
// capture that was cut short, until `deadline_ms` (platform::monotonic_ms):
// the job's time is up or its stop signal raised by then, yet the controller
// must not keep the profiler or a trace buffer running.
void run_job_cleanup(const BackgroundJob& job, const std::string& command_line,
                     const std::string& command, std::int64_t deadline_ms);

// Appends one line to the job's file (platform::append_line_to_file).
void append_job_line(const BackgroundJob& job, const std::string& text);

// The interpreter line that runs `command` on the job's controller and
// appends its output to the job's file, its errors discarded.
std::string job_command_line(const BackgroundJob& job, const std::string& command);

// Milliseconds left before the job's time-out, never below 0.
int time_left_ms(const BackgroundJob& job);

// "DEBUG: %s\n" / "DEBUG: %s: %s\n" on standard error when the job's run
// has -d; one write per line.
void job_debug(const BackgroundJob& job, const std::string& text);
void job_debug(const BackgroundJob& job, const std::string& text, const std::string& subject);

}  // namespace samplers
