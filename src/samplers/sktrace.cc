#include "samplers/sktrace.h"

#include <cstdio>
#include <memory>

#include "controller/remote_shell.h"
#include "controller/reply_checks.h"
#include "core/messages.h"
#include "exec/query.h"
#include "exec/temp_dir.h"
#include "exec/wrappers.h"
#include "platform/platform.h"
#include "platform/threads.h"
#include "samplers/jobs.h"
#include "samplers/profile_trace_files.h"

namespace samplers {

namespace {

// The trace worker's job: the common part and what only it reads.
struct TraceJob : BackgroundJob {
  std::string points;
  std::string buffer;
  bool disk_mapping = false;
  std::string folder;  // the controller's folder in the scratch folder
};

const char* const kDiskFiles[] = {"sktrace_sysconfig.txt", "sktrace_disk_list.txt"};

// The -T and -B values go into command lines as they are.
bool trace_values_plain(const core::RunOptions& o) {
  return plain_option_value("-T", o.sktrace_points, " ", "kernel traces") &&
         plain_option_value("-B", o.sktrace_buffer, "", "kernel traces");
}

void append_line(const std::string& path, const std::string& text) {
  platform::append_line_to_file(text, path);
}

// A trace command; its replies and errors go into the capture log, never
// into the report while it is being written.
bool trace_command(const TraceJob& job, const std::string& command) {
  return run_capture_command(job, capture_command_line(job, command, job.output_path, " 2>&1"),
                             command);
}

// The disk layout the trace's disk events refer to.
bool capture_disk_layout(const TraceJob& job) {
  const std::string& name = job.controller.name;
  const char* const commands[] = {"sysconfig -r", "disk_list"};
  for (int i = 0; i < 2; ++i) {
    append_job_line(job, exec::gmt_timestamp() + ": Capture " + commands[i] + " on " + name);
    const std::string line = capture_command_line(job, commands[i], job.folder + kDiskFiles[i],
                                                  " 2>> \"" + job.output_path + "\"");
    if (!run_capture_command(job, line, commands[i])) return false;
  }
  return true;
}

// A trace cut short after it started: its points disabled and the trace
// stopped, each bounded on its own, so its buffer does not stay taken on the
// controller.
void stop_cut_trace(const TraceJob& job) {
  // Each command gets its share of the clean-up time, so one that hangs
  // cannot keep "trace stop" from being sent.
  const std::vector<std::string> modules = trace_modules(job.points);
  const std::int64_t share = kCleanupMs / static_cast<std::int64_t>(modules.size() + 1);
  for (const std::string& module : modules) {
    const std::string disable = "trace disable " + module;
    run_job_cleanup(job, capture_command_line(job, disable, job.output_path, " 2>&1"), disable,
                    platform::monotonic_ms() + share);
  }
  run_job_cleanup(job, capture_command_line(job, "trace stop", job.output_path, " 2>&1"),
                  "trace stop", platform::monotonic_ms() + share);
}

bool run_trace(const TraceJob& job) {
  if (!trace_command(job, "trace start -b " + job.buffer)) {
    stop_cut_trace(job);  // it may have started before the cut
    return false;
  }
  bool in_time = trace_command(job, "trace enable " + job.points) &&
                 capture_sleep(job, trace_seconds(job.settings.sampling_seconds));
  for (const std::string& module : trace_modules(job.points)) {
    in_time = in_time && trace_command(job, "trace disable " + module);
  }
  in_time = in_time && trace_command(job, std::string("trace dump ") + kTraceDumpPath) &&
            capture_sleep(job, 5) && trace_command(job, "trace stop");
  if (!in_time) {
    stop_cut_trace(job);
    return false;
  }
  return !job.disk_mapping || capture_disk_layout(job);
}

}  // namespace

int trace_seconds(int sampling_seconds) {
  return sampling_seconds > 60 ? 60 : 45;
}

std::vector<std::string> trace_modules(const std::string& points) {
  std::vector<std::string> modules;
  const std::vector<std::string> words = controller::split_pieces(points, ' ');
  for (size_t i = 0; i < words.size(); i += 2) modules.push_back(words[i]);
  return modules;
}

std::string trace_log_path(const std::string& temp_dir, const std::string& filer_name) {
  return temp_dir + filer_name + platform::shell::path_separator() + "sktrace_info.txt";
}

std::string trace_destination(const std::string& filer_name, int iteration,
                              const std::string& stamp) {
  const char sep = platform::shell::path_separator();
  return core::format(".%c%s_ITR_%d_%s_sktrace%c", sep, filer_name.c_str(), iteration,
                      stamp.c_str(), sep);
}

bool sktrace_wanted(const core::RunOptions& o, const core::FilerTarget& filer) {
  return o.sktrace && o.sampling_enabled && !o.pretend && !filer.sktrace_off;
}

void setup_sktrace(const core::Collection& collection) {
  core::RunState& st = core::state();
  const core::RunOptions& o = st.options;
  const core::FilerTarget& filer = *collection.filer;
  if (!sktrace_wanted(o, filer) || !trace_values_plain(o)) return;

  auto job = std::make_shared<TraceJob>();
  job->command = "trace enable " + o.sktrace_points;
  job->output_path = trace_log_path(st.temp_dir, filer.name);
  job->controller = {filer.name, filer.shell_prefix, filer.priv_prefix, filer.priv_suffix,
                     filer.statit_mode};
  job->settings = settings_of(o);
  job->timeout_ms = job_timeout_ms(o.sample_minutes);
  job->points = o.sktrace_points;
  job->buffer = o.sktrace_buffer;
  job->disk_mapping = o.disk_mapping;
  job->folder = st.temp_dir + filer.name + platform::shell::path_separator();
  if (!start_background_thread(fbackground_sktrace, job)) {
    std::fputs("FATAL: Failed to create thread to do sktrace work!\n", stderr);
    core::exit_run(1);
  }
}

void fbackground_sktrace(void* raw) {
  const TraceJob& job = *static_cast<const TraceJob*>(static_cast<BackgroundJob*>(raw));
  const std::string& name = job.controller.name;
  job_debug(job, "Start fbackground_sktrace thread");
  append_job_line(job, exec::gmt_timestamp() + ": Begin sktrace on " + name);
  if (!run_trace(job)) {
    append_job_line(job, exec::gmt_timestamp() + ": Trace capture on " + name +
                             " cut short at the end of the sampling wait");
    exec::append_error_log("WARNING: Trace capture on " + name +
                           " was cut short at the end of the sampling wait");
  }
  append_job_line(job, exec::gmt_timestamp() + ": End sktrace on " + name);
  job_debug(job, "End fbackground_sktrace thread");
}

void collect_sktrace_files(const core::Collection& collection) {
  core::RunState& st = core::state();
  const core::RunOptions& o = st.options;
  const core::FilerTarget& filer = *collection.filer;
  if (!sktrace_wanted(o, filer) || !trace_values_plain(o)) return;

  const std::string log = trace_log_path(st.temp_dir, filer.name);
  const std::string destination = trace_destination(
      filer.name, st.iteration, padded_stamp(platform::local_time(platform::now_epoch_seconds())));
  // A new folder of the user's own: one already there (a link or a folder
  // someone else made) is never written into.
  const std::string problem = platform::create_new_private_folder(destination);
  if (!problem.empty()) {
    controller::warn_once(core::format("Trace data of %s for iteration %d are not saved: %s",
                                       filer.name.c_str(), st.iteration, problem.c_str()));
  }

  const std::vector<std::string> files =
      problem.empty() ? listed_names(filer.name, list_controller_folder(collection, "/etc/log"),
                                     "sktrace", controller::ReplyName::kTraceFile)
                      : std::vector<std::string>{};
  append_line(log, exec::gmt_timestamp() + ": Copying sktrace from " + filer.name);
  append_line(log, core::format("Saving sktrace data files as %s%s_%d_trace_filename",
                                destination.c_str(), filer.name.c_str(), st.iteration));
  int failed = 0;
  // Counts a failed copy and tells what a copy had to tell.
  auto tally = [&failed](CopyResult result, const std::string& told) {
    if (result == CopyResult::kFailed) ++failed;
    if (!told.empty()) controller::warn_once(told);
    return result;
  };
  for (auto file = files.rbegin(); file != files.rend(); ++file) {
    append_line(log, *file);
    const std::string copy =
        core::format("%s_%d_%s", filer.name.c_str(), st.iteration, file->c_str());
    core::debug_line("Copying /etc/log/" + *file + " to " + destination + copy);
    std::string told;
    const CopyResult result = save_command_output(
        exec::with_errors_logged(collection,
                                 collection.remote_command_line("rdfile /etc/log/" + *file)),
        destination, copy, told);
    exec::log_command_errors(collection);
    if (tally(result, told) == CopyResult::kFailed) append_line(log, "(copy failed)");
  }

  std::string told;
  if (problem.empty()) tally(save_file_copy(log, destination, "sktrace_info.txt", told), told);
  if (o.disk_mapping) {
    for (const char* disk_file : kDiskFiles) {
      const std::string path =
          st.temp_dir + filer.name + platform::shell::path_separator() + disk_file;
      told.clear();
      if (problem.empty()) tally(save_file_copy(path, destination, disk_file, told), told);
      exec::register_temp_file(collection, path);
    }
  }
  exec::register_temp_file(collection, log);
  if (!problem.empty()) return;
  if (failed == 0) {
    core::progress(core::format("skrace data for iteration %d successfully saved in '%s'!\n",
                                st.iteration, destination.c_str()));
  } else {
    controller::warn_once(
        core::format("Trace data of %s for iteration %d saved in '%s' with "
                     "%d failed %s",
                     filer.name.c_str(), st.iteration, destination.c_str(), failed,
                     failed == 1 ? "copy" : "copies"));
  }
}

}  // namespace samplers
