#include "samplers/statit.h"

#include <string>
#include <vector>

#include "core/messages.h"
#include "exec/wrappers.h"
#include "platform/platform.h"
#include "platform/threads.h"

namespace samplers {

namespace {

using Kind = StatitStep::Kind;

void add_report(std::vector<StatitStep>& steps, int seconds) {
  steps.push_back({Kind::kStatitBegin, "", 0});
  steps.push_back({Kind::kSleep, "", seconds});
  steps.push_back({Kind::kStatitEnd, "", 0});
}

bool stutter_on(const JobSettings& s, int statit_mode) {
  return s.stutter_statit && statit_mode == 0;
}

}  // namespace

StatitValues statit_values(const JobSettings& s, int statit_mode) {
  const int interval = s.sample_interval;
  const int count = s.sample_count;
  StatitValues v;
  v.full = interval * count;
  v.half = (interval / 2) * count;
  if (s.full_stutter_statit) {
    v.reports = count - 2;
  } else if (s.interval_given) {
    v.reports = s.stutter_statit ? count - 2 : -1;
  } else {
    v.reports = count / 2 - 2;
  }
  v.long_seconds = stutter_on(s, statit_mode) ? v.half : v.full;
  return v;
}

std::vector<StatitStep> statit_steps(const JobSettings& s, int statit_mode) {
  const StatitValues v = statit_values(s, statit_mode);
  const bool stutter = stutter_on(s, statit_mode);
  std::vector<StatitStep> steps;

  const bool long_report = !s.full_stutter_statit && !(s.interval_given && s.stutter_statit);
  if (long_report) {
    std::string heading = stutter
                              ? core::format("---- statit first 1/2 --- %i seconds ----", v.half)
                              : core::format("---- statit  --- %i seconds ----", v.full);
    steps.push_back({Kind::kLine, heading, 0});
    steps.push_back({Kind::kBeginStamp, "", 0});
    add_report(steps, v.long_seconds);
    steps.push_back({Kind::kEndStamp, "", 0});
  }

  if (!stutter || v.reports < 1) return steps;
  if (!s.full_stutter_statit) steps.push_back({Kind::kLine, "...", 0});
  for (int i = 1; i <= v.reports; ++i) {
    steps.push_back({Kind::kLine, core::format("---- statit --- %i ----", i), 0});
    steps.push_back({Kind::kBeginStamp, "", 0});
    add_report(steps, s.sample_interval);
    steps.push_back({Kind::kEndStamp, "", 0});
    steps.push_back({Kind::kStopPastBound, "", 0});
  }
  return steps;
}

void fbackground_stutter_thread(void* raw) {
  const BackgroundJob& job = *static_cast<const BackgroundJob*>(raw);
  const std::int64_t started = platform::monotonic_ms();
  job_debug(job, "Start fbackground_stutter thread");

  // The lines between two commands go into the file in one append, just
  // before the next command (or at the end): the file reads the same.
  std::vector<std::string> lines;
  auto write_lines = [&] {
    if (!lines.empty()) platform::append_lines_to_file(lines, job.output_path);
    lines.clear();
  };
  // Each statit command is bounded by the job's time-out; a stop or a
  // time-out ends the series, and what the file holds so far stays.
  auto statit = [&](const char* command) {
    write_lines();
    int error_code = 0;
    ChildOutcome outcome =
        run_job_command(job, job_command_line(job, command), command, error_code);
    return outcome == ChildOutcome::kEnded || outcome == ChildOutcome::kNotStarted;
  };

  for (const StatitStep& step : statit_steps(job.settings, job.controller.statit_mode)) {
    bool go_on = true;
    switch (step.kind) {
      case Kind::kLine:
        lines.push_back(step.text);
        break;
      case Kind::kBeginStamp:
        lines.push_back("Begin: " + exec::gmt_timestamp());
        break;
      case Kind::kEndStamp:
        lines.push_back("End: " + exec::gmt_timestamp());
        break;
      case Kind::kStatitBegin:
        go_on = statit("statit -b");
        break;
      case Kind::kStatitEnd:
        go_on = statit("statit -e");
        break;
      case Kind::kSleep: {
        int wanted = step.seconds * 1000;
        int left = time_left_ms(job);
        go_on = !platform::wait_for_stop(job.stop, wanted < left ? wanted : left);
        break;
      }
      case Kind::kStopPastBound:
        if (platform::monotonic_ms() - started >= job.settings.sampling_seconds * 1000LL) {
          job_debug(job,
                    "fbackground_stutter_thread: exitting early b/c total histo_time was "
                    "exceeded!");
          go_on = false;
        }
        break;
    }
    if (!go_on) break;
  }
  write_lines();
  job_debug(job, "End fbackground_stutter_thread");
}

}  // namespace samplers
