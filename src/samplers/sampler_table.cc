#include "samplers/sampler_table.h"

#include "core/messages.h"
#include "exec/runner.h"
#include "exec/wrappers.h"
#include "platform/platform.h"
#include "samplers/profiles.h"
#include "samplers/sktrace.h"

namespace samplers {

namespace {

struct SamplerContext {
  const core::RunOptions& options;
  const core::FilerTarget& filer;
  const core::CurrentServices& services;
  int interval;  // I
  int count;     // C
  int bound;     // H
};

// One row of the controllers' sampler table. A per-vif row is started once
// for every virtual interface, its name filling the %s of the command and
// of the file name.
struct SamplerRow {
  JobKind kind;
  bool per_vif;
  bool (*wanted)(const SamplerContext&);
  std::string (*command)(const SamplerContext&);
  const char* file;
};

bool not_critical(const SamplerContext& c) {
  return !c.options.critical_only;
}

bool protocol_stats(const SamplerContext& c) {
  return not_critical(c) && c.filer.stats_enabled;
}

const SamplerRow kSamplerTable[] = {
    {JobKind::kControllerCommand, false, not_critical,
     [](const SamplerContext& c) {
       return core::format("sysstat -s -c %d -x %d", c.count, c.interval);
     },
     "sysstat.out"},
    // With -t 1 the first row already samples every second.
    {JobKind::kControllerCommand, false, [](const SamplerContext& c) { return c.interval != 1; },
     [](const SamplerContext& c) {
       int samples = c.options.critical_only ? c.count : c.bound;
       return c.filer.release == "MERIX8.1.1"
                  ? core::format("priv set diag;sysstat -s -c %d -x -d 1", samples)
                  : core::format("sysstat -s -c %d -x 1", samples);
     },
     "sysstat_1sec.out"},
    {JobKind::kControllerCommand, false,
     [](const SamplerContext& c) { return c.services.cpu_class >= 2; },
     [](const SamplerContext& c) {
       return core::format("sysstat -M -s -c %d %d", c.count, c.interval);
     },
     "sysstatM.out"},
    {JobKind::kControllerCommand, false, protocol_stats,
     [](const SamplerContext& c) {
       return core::format("priv set admin; stats show -r -i %d -n %d system nfsv3 cifs fcp iscsi",
                           c.interval, c.count);
     },
     "protocol_stats.out"},
    {JobKind::kControllerCommand, false,
     [](const SamplerContext& c) { return protocol_stats(c) && c.filer.domain_stats; },
     [](const SamplerContext& c) {
       return core::format(
           "priv set diag; stats show -r -i %d -n %d system:system:time processor:*:domain_busy "
           "processor:*:processor_busy",
           c.interval, c.count);
     },
     "domain_stats.out"},
    {JobKind::kControllerCommand, false,
     [](const SamplerContext& c) {
       return not_critical(c) && (c.services.flags.svc_iscsi != 0 || c.services.flags.svc_fcp != 0);
     },
     [](const SamplerContext& c) {
       return core::format("lun stats -c %d -i %d -o", c.count, c.interval);
     },
     "lun_stats.out"},
    {JobKind::kControllerCommand, true, not_critical,
     [](const SamplerContext&) { return std::string("vif stat %s"); }, "vifstat_%s.out"},
    {JobKind::kStatitStutter, false,
     [](const SamplerContext& c) { return c.filer.statit_mode != 2; },
     [](const SamplerContext&) { return std::string(); }, "statit.out"},
};

std::string fill_vif(std::string text, const std::string& vif) {
  exec::replace_all(text, "%s", vif);
  return text;
}

}  // namespace

std::vector<PlannedJob> filer_sampler_jobs(const core::RunOptions& options,
                                           const core::FilerTarget& filer,
                                           const core::CurrentServices& services) {
  const SamplerContext context{options,
                               filer,
                               services,
                               options.sample_interval,
                               options.sample_count,
                               options.sampling_seconds};
  std::vector<PlannedJob> jobs;
  for (const SamplerRow& row : kSamplerTable) {
    if (!row.wanted(context)) continue;
    std::string command = row.command(context);
    if (!row.per_vif) {
      jobs.push_back({row.kind, command, row.file});
      continue;
    }
    for (const std::string& vif : filer.vifs) {
      jobs.push_back({row.kind, fill_vif(command, vif), fill_vif(row.file, vif)});
    }
  }
  return jobs;
}

std::vector<PlannedJob> host_sampler_jobs(const core::RunOptions& options) {
  if (options.config_only) return {};
  return {{JobKind::kHostCounters, "system", "system_perfmon.out"},
          {JobKind::kHostCounters, "ldisk", "ldisk_perfmon.out"}};
}

void start_filer_samplers(const core::Collection& collection) {
  const core::RunState& st = core::state();
  if (st.options.pretend || st.options.config_only) return;
  setup_profile_capture(collection);
  setup_sktrace(collection);
  for (const PlannedJob& job :
       filer_sampler_jobs(st.options, *collection.filer, collection.services)) {
    start_background_job(collection, job.kind, job.command, job.file_name);
  }
}

void start_host_samplers(const core::Collection& collection) {
  const core::RunState& st = core::state();
  if (st.options.pretend) return;
  if (!st.options.perf_only) {
    const std::string folder = st.temp_dir + st.host_name + platform::shell::path_separator();
    for (const platform::shell::HostExport& item :
         platform::shell::host_exports(folder, st.options.msinfo_path)) {
      exec::register_temp_file(collection, folder + item.file_name);
      exec::run_command(collection, item.command_line);
    }
  }
  for (const PlannedJob& job : host_sampler_jobs(st.options)) {
    start_background_job(collection, job.kind, job.command, job.file_name);
  }
}

}  // namespace samplers
