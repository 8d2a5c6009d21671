// Profile capture (-P): each controller's profiler runs the requested
// domains one after another during the sampling wait; the profile files it
// leaves in its root are copied into the "gmon" folder beside the report
// and removed from the controller.
#pragma once

#include <string>

#include "core/collection.h"
#include "core/state.h"

namespace samplers {

// Shortest time a profile runs, when the sampling time shared among many
// profiles leaves less.
constexpr int kMinProfileSeconds = 1;

// The sampling time shared among the profiles, less 5 seconds each.
int seconds_per_profile(int sampling_seconds, int profile_count);

// "<.>/gmon/<filer>_<iteration>_profile_info.txt" with the host's separator.
std::string profile_info_path(const std::string& filer_name, int iteration);

// "<.>/gmon" with the host's separator.
std::string gmon_folder();

// "<filer>_<iteration>_profile_info.txt", the information file's name in gmon.
std::string profile_info_name(const std::string& filer_name, int iteration);

// Where the information file is written while the profiles run:
// "<temp dir><filer>/profile_info.txt".
std::string profile_scratch_info_path(const std::string& temp_dir, const std::string& filer_name);

// "<filer>_<stamp>_<iteration>_<file>", a copy's name in gmon.
std::string profile_copy_name(const std::string& filer_name, const std::string& stamp,
                              int iteration, const std::string& file);

// "<.>/gmon/<filer>_<stamp>_<iteration>_<file>" with the host's separator.
std::string profile_copy_path(const std::string& filer_name, const std::string& stamp,
                              int iteration, const std::string& file);

// -P given, sampling on, not -c, not -x.
bool profiles_wanted(const core::RunOptions& options);

// Removes the current controller's old profile files and starts its profile
// worker. Ends the run when no thread can start.
void setup_profile_capture(const core::Collection& collection);

// The worker: runs the profiles one after another.
void profile_thread(void* job);

// Copies the current controller's profile files into "gmon" and removes
// them from the controller.
void collect_profile_files(const core::Collection& collection);

}  // namespace samplers
