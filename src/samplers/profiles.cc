#include "samplers/profiles.h"

#include <cstdio>
#include <memory>
#include <vector>

#include "controller/remote_shell.h"
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

// The profile worker's job: the common part and what only it reads.
struct ProfileJob : BackgroundJob {
  std::vector<std::string> profiles;
  int cpu_class = 0;
  bool quiet = false;
};

// The -P values go into command lines as they are.
bool profile_values_plain(const core::RunOptions& o) {
  if (!plain_option_value("-P", o.profile_list, ",", "profiles")) return false;
  for (const std::string& profile : o.profiles) {
    if (!plain_option_value("-P", profile, "", "profiles")) return false;
  }
  return true;
}

std::vector<std::string> gmon_files(const core::Collection& collection) {
  return listed_names(collection.filer->name, list_controller_folder(collection, "/"), "gmon",
                      controller::ReplyName::kProfileFile);
}

void append_line(const std::string& path, const std::string& text) {
  platform::append_line_to_file(text, path);
}

// Creates or empties the information file with its first line.
void start_info_file(const std::string& path, const std::string& first_line) {
  std::FILE* file = std::fopen(path.c_str(), "w");
  if (file == nullptr) {
    exec::append_error_log("ERROR: Cannot write profile information file " + path);
    return;
  }
  std::fprintf(file, "%s\n", first_line.c_str());
  std::fclose(file);
}

// The "gmon" folder, made or checked; false (told once) when profiles
// cannot be kept there.
bool gmon_ready() {
  const std::string problem = platform::open_private_folder(gmon_folder());
  if (problem.empty()) return true;
  controller::warn_once("Profiles are not saved: " + problem);
  return false;
}

}  // namespace

int seconds_per_profile(int sampling_seconds, int profile_count) {
  if (profile_count < 1) profile_count = 1;
  const int seconds = sampling_seconds / profile_count - 5;
  return seconds < kMinProfileSeconds ? kMinProfileSeconds : seconds;
}

std::string profile_info_path(const std::string& filer_name, int iteration) {
  const char sep = platform::shell::path_separator();
  return core::format(".%cgmon%c%s_%d_profile_info.txt", sep, sep, filer_name.c_str(), iteration);
}

std::string gmon_folder() {
  return core::format(".%cgmon", platform::shell::path_separator());
}

std::string profile_info_name(const std::string& filer_name, int iteration) {
  return core::format("%s_%d_profile_info.txt", filer_name.c_str(), iteration);
}

std::string profile_scratch_info_path(const std::string& temp_dir, const std::string& filer_name) {
  return temp_dir + filer_name + platform::shell::path_separator() + "profile_info.txt";
}

std::string profile_copy_name(const std::string& filer_name, const std::string& stamp,
                              int iteration, const std::string& file) {
  return core::format("%s_%s_%d_%s", filer_name.c_str(), stamp.c_str(), iteration, file.c_str());
}

std::string profile_copy_path(const std::string& filer_name, const std::string& stamp,
                              int iteration, const std::string& file) {
  const char sep = platform::shell::path_separator();
  return core::format(".%cgmon%c%s_%s_%d_%s", sep, sep, filer_name.c_str(), stamp.c_str(),
                      iteration, file.c_str());
}

bool profiles_wanted(const core::RunOptions& o) {
  return o.profiles_given && o.sampling_enabled && !o.config_only && !o.pretend;
}

void setup_profile_capture(const core::Collection& collection) {
  core::RunState& st = core::state();
  const core::RunOptions& o = st.options;
  if (!profiles_wanted(o) || !profile_values_plain(o) || !gmon_ready()) return;
  const core::FilerTarget& filer = *collection.filer;
  // Written in the scratch folder while the profiles run, copied beside the
  // report at the end.
  const std::string info = profile_scratch_info_path(st.temp_dir, filer.name);

  start_info_file(info, "Capturing profiles: " + o.profile_list + " on " + filer.name);
  append_line(info, "Existing profile data files:");
  core::progress("Capturing profiles: " + filer.name + ":" + o.profile_list + "\n");
  // Files of earlier runs would be taken for this run's profiles.
  std::vector<std::string> old_files = gmon_files(collection);
  for (auto name = old_files.rbegin(); name != old_files.rend(); ++name) {
    core::progress("Deleting existing profile file: " + *name + "\n");
    exec::run_filer_command(collection, "rm /" + *name);
  }

  auto job = std::make_shared<ProfileJob>();
  job->command = "prof on " + o.profile_list;
  job->output_path = info;
  job->controller = {filer.name, filer.shell_prefix, filer.priv_prefix, filer.priv_suffix,
                     filer.statit_mode};
  job->settings = settings_of(o);
  job->timeout_ms = job_timeout_ms(o.sample_minutes);
  job->profiles = o.profiles;
  job->cpu_class = filer.cpu_class;
  job->quiet = o.quiet;
  if (!start_background_thread(profile_thread, job)) {
    std::fputs("FATAL: Failed to create thread to do profiling work!\n", stderr);
    core::exit_run(1);
  }
}

void profile_thread(void* raw) {
  const ProfileJob& job = *static_cast<const ProfileJob*>(static_cast<BackgroundJob*>(raw));
  const std::string& name = job.controller.name;
  const int seconds =
      seconds_per_profile(job.settings.sampling_seconds, static_cast<int>(job.profiles.size()));
  job_debug(job, "Start profile thread", name);

  for (const std::string& entry : job.profiles) {
    if (job.cpu_class == 1 && entry != "flat" && !job.quiet) {
      std::fprintf(stderr, "Warning: Collecting \"%s\" profile on single processor filer.\n",
                   entry.c_str());
    }
    // The profiler's complete profile has no domain.
    const std::string domain = entry == "flat" ? "" : entry;
    job_debug(job, "Begin profile", domain);
    append_job_line(job, "Begin profile " + domain + " on " + name);
    exec::append_begin_line(job.output_path);

    const std::string on = "prof reset ; prof on " + domain;
    const std::string off = "prof off ; prof dump ";
    bool in_time =
        run_capture_command(job, capture_command_line(job, on, job.output_path, " 2>&1"), on);
    in_time =
        in_time && capture_sleep(job, seconds) &&
        run_capture_command(job, capture_command_line(job, off, job.output_path, " 2>&1"), off);
    if (!in_time) {
      // Cut short: the profiler must not stay on on the controller.
      run_job_cleanup(job, capture_command_line(job, "prof off", job.output_path, " 2>&1"),
                      "prof off", platform::monotonic_ms() + kCleanupMs);
    }

    append_job_line(job, "End profile " + domain + " on " + name);
    exec::append_begin_line(job.output_path);
    if (!in_time) {
      exec::append_error_log("WARNING: Profile capture on " + name +
                             " was cut short at the end of the sampling wait");
      break;
    }
  }
  job_debug(job, "End profile thread", name);
}

void collect_profile_files(const core::Collection& collection) {
  core::RunState& st = core::state();
  const core::RunOptions& o = st.options;
  if (!profiles_wanted(o) || !profile_values_plain(o) || !gmon_ready()) return;
  const std::string stamp = copy_stamp_now();
  const core::FilerTarget& filer = *collection.filer;
  const std::string info = profile_scratch_info_path(st.temp_dir, filer.name);
  append_line(info, "-Finished capturing profiles profiles on " + filer.name);

  std::vector<std::string> files = gmon_files(collection);
  for (const std::string& file : files) core::debug_line("Gmon file", file);
  for (auto file = files.rbegin(); file != files.rend(); ++file) {
    append_line(info, *file);
    const std::string copy = profile_copy_name(filer.name, stamp, st.iteration, *file);
    core::progress("Reading profile data file: " + *file + "...");
    std::string told;
    const CopyResult result = save_command_output(
        exec::with_errors_logged(collection, collection.remote_command_line("rdfile /" + *file)),
        gmon_folder(), copy, told);
    exec::log_command_errors(collection);
    core::progress(result == CopyResult::kFailed ? "Failed!\n" : "Done!\n");
    if (!told.empty()) controller::warn_once(told);
    // A file that did not arrive whole stays where it is.
    if (result != CopyResult::kSaved) {
      append_line(info, "(not copied whole; left on the controller)");
      controller::warn_once(
          core::format("%s: profile data file %s was not copied whole; it "
                       "is left on the controller",
                       filer.name.c_str(), file->c_str()));
      continue;
    }
    exec::run_filer_command(collection, "rm /" + *file);
  }
  std::string told;
  save_file_copy(info, gmon_folder(), profile_info_name(filer.name, st.iteration), told);
  if (!told.empty()) controller::warn_once(told);
}

}  // namespace samplers
