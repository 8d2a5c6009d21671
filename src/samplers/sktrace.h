// Kernel trace capture (-T): each controller records a kernel trace for
// about a minute of the sampling wait and dumps it into /etc/log; poststats
// copies the trace files, with the capture log and (with DISK) the disk
// layout, into a folder per controller and iteration beside the report.
#pragma once

#include <string>
#include <vector>

#include "core/collection.h"
#include "core/state.h"

namespace samplers {

// The file the controller dumps its trace into.
constexpr const char* kTraceDumpPath = "/etc/log/sktrace_kestrel";

// 60 seconds when the sampling time is above 60 seconds, else 45.
int trace_seconds(int sampling_seconds);

// The module names of a trace point list: its 1st, 3rd, 5th ... word.
std::vector<std::string> trace_modules(const std::string& points);

// "<temp dir><filer>/sktrace_info.txt" with the host's separator.
std::string trace_log_path(const std::string& temp_dir, const std::string& filer_name);

// "<.>/<filer>_ITR_<iteration>_<stamp>_sktrace/" with the host's separator.
std::string trace_destination(const std::string& filer_name, int iteration,
                              const std::string& stamp);

// -T given, sampling on, not -x, and the controller takes traces.
bool sktrace_wanted(const core::RunOptions& options, const core::FilerTarget& filer);

// Starts the current controller's trace worker. Ends the run when no thread
// can start.
void setup_sktrace(const core::Collection& collection);

// The worker: starts, enables, disables, dumps and stops the trace.
void fbackground_sktrace(void* job);

// Copies the current controller's trace files into a new destination folder
// and registers the capture log (and disk files) for the report.
void collect_sktrace_files(const core::Collection& collection);

}  // namespace samplers
