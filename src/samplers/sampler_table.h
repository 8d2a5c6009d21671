// The per-iteration start of the samplers: the controllers' long-running
// commands and statit, the host's configuration exports and counters.
#pragma once

#include <string>
#include <vector>

#include "core/collection.h"
#include "core/state.h"
#include "samplers/jobs.h"

namespace samplers {

struct PlannedJob {
  JobKind kind;
  std::string command;
  std::string file_name;
};

// The jobs of one controller under the run's options and the services its
// licences gave, in table order.
std::vector<PlannedJob> filer_sampler_jobs(const core::RunOptions& options,
                                           const core::FilerTarget& filer,
                                           const core::CurrentServices& services);

// The host's counter jobs (none with -c).
std::vector<PlannedJob> host_sampler_jobs(const core::RunOptions& options);

// Starts the jobs of the current controller. Nothing with -x or -c.
void start_filer_samplers(const core::Collection& collection);

// Runs the host's configuration exports (not with -p), each bounded by the
// command time-out, and starts the host counter jobs. Nothing with -x.
void start_host_samplers(const core::Collection& collection);

}  // namespace samplers
