// The worker of a host counter job: the counter set's sampler between two
// stamps, paced by sleeps that end early on the stop signal or at the job's
// time-out.
#include "exec/wrappers.h"
#include "platform/threads.h"
#include "samplers/host_counters.h"
#include "samplers/jobs.h"

namespace samplers {

void host_perfmon_thread(void* raw) {
  const BackgroundJob& job = *static_cast<const BackgroundJob*>(raw);
  exec::append_begin_line(job.output_path);
  job_debug(job, "Start host background thread perfmon", job.command);
  auto sleep_unless_stopped = [&job](int ms) {
    int left = time_left_ms(job);
    if (ms <= left) return !platform::wait_for_stop(job.stop, ms);
    platform::wait_for_stop(job.stop, left);
    return false;
  };
  run_host_counters(job.command, job.output_path, job.settings.sample_interval,
                    job.settings.sample_count, job.settings.debug, sleep_unless_stopped);
  exec::append_begin_line(job.output_path);
  job_debug(job, "End host background thread perfmon", job.command);
}

}  // namespace samplers
