// The worker of a host counter job: the counter set's sampler, paced by
// sleeps that end early on the stop signal or at the job's time-out.
#include "platform/threads.h"
#include "samplers/host_counters.h"
#include "samplers/jobs.h"

namespace samplers {

void host_perfmon_thread(void* raw) {
  const BackgroundJob& job = *static_cast<const BackgroundJob*>(raw);
  auto sleep_unless_stopped = [&job](int ms) {
    int left = time_left_ms(job);
    if (ms <= left) return !platform::wait_for_stop(job.stop, ms);
    platform::wait_for_stop(job.stop, left);
    return false;
  };
  run_host_counters(job.command, job.output_path, job.settings.sample_interval,
                    job.settings.sample_count, job.settings.debug, sleep_unless_stopped);
}

}  // namespace samplers
