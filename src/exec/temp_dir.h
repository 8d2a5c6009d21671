// The run's scratch folder and its time-stamped error log.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace exec {

// Builds the folder and log paths, makes the folder and an empty error log.
// Ends the run on failure.
void setup_temp_dir();

// The temp root `tmp` as an absolute path without a trailing separator: a
// relative one is taken from the current folder, so that no path of the run
// can begin with '-' and be read as an option by the commands it is given to.
// Nothing when the current folder cannot be read.
std::optional<std::string> absolute_temp_root(const std::string& tmp);

// Recreates the per-target subfolders at the start of a prestats phase.
void prepare_target_dirs(int iteration);

// Appends "<gmt timestamp> : <message>" to the error log. While background
// samplers run, appends are serialised by the run's mutex.
void append_error_log(const std::string& message);

// Appends what a side-by-side collection's commands wrote on standard error
// (the file at `path`) to the error log as it is, and empties the file.
void move_into_error_log(const std::string& path);

// True when a target named `name` would take the place of one of the run's
// own files at the top of the scratch folder (letter case aside).
bool is_scratch_file_name(const std::string& name);

// The path of a scratch file of the run's own: `kind` is one of "tmp.out",
// "lsout" (a lone collection's) or "tmp-#.out", "lsout-#", "spool-#", where
// '#' becomes `index` (collections that run side by side).
std::string collection_scratch_path(const char* kind, size_t index);

// "ERROR: Cannot write "<path>": <reason>" on standard error, once per path.
void report_write_failure(const std::string& path, int error_number);

// Leaves `path` as an empty file after proving a line can be written to it;
// on failure tells the user (once per path) and returns false.
bool probe_writable(const std::string& path);

// Removes the scratch folder and everything in it.
void destroy_temp_dir();

// The same without starting a process, for a run that ends on a fatal error
// after every client was killed and no more may start.
void remove_temp_dir_at_exit();

}  // namespace exec

namespace exec {

// Prints the ERROR LOG marker line and types the whole error log into the
// report, as the report's last section.
void print_error_log_section();

}  // namespace exec
