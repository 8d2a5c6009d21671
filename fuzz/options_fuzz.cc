// The command line: one argument per input line, scanned and checked for
// conflicts as at start-up, without ending the process.
#include "core/state.h"
#include "fuzz_input.h"
#include "run/options_internal.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  core::reset_state();
  std::vector<std::string> args = fuzz::lines(data, size);
  run::ParseOutcome outcome = run::parse_arguments(args, fuzz::sink(), fuzz::sink());
  if (!outcome.exit) outcome = run::find_option_conflicts(fuzz::sink(), fuzz::sink());
  if (outcome.exit) {
    fuzz::require(outcome.status == 0 || outcome.status == 1, "the parser ends with 0 or 1");
    return 0;
  }

  // A command line that lets the run go on holds only values the run can use.
  const core::RunState& st = core::state();
  const core::RunOptions& o = st.options;
  fuzz::require(st.filers.size() <= run::kMaxFilers, "at most kMaxFilers controllers");
  for (const core::FilerTarget& filer : st.filers) {
    fuzz::require(!filer.name.empty(), "no empty controller name");
  }
  fuzz::require(o.exclude_patterns.size() <= run::kMaxExcludePatterns, "bounded -E list");
  for (const std::string& pattern : o.exclude_patterns) {
    fuzz::require(!pattern.empty(), "no empty exclusion pattern");
  }
  fuzz::require(o.profiles.size() <= run::kMaxProfiles, "bounded -P list");
  fuzz::require(o.sample_interval >= 1, "a sample interval to divide by");
  fuzz::require(o.sample_minutes >= 0, "no negative sampling time");
  fuzz::require(o.command_timeout_ms >= 0, "no negative command time-out");
  fuzz::require(o.max_run_seconds >= 0, "no negative maximum run time");
  fuzz::require(o.sktrace_buffer.size() <= run::kMaxSktraceBuffer, "bounded -B value");
  fuzz::require(o.forced_os.size() <= run::kMaxForcedOs, "bounded -O value");
  fuzz::require(!o.sktrace || !o.sktrace_points.empty(), "trace points when tracing");
  fuzz::require(!(o.full_stutter_statit && !o.stutter_statit), "-k and -K do not meet");
  fuzz::require(o.z_mode || !(o.config_only && o.perf_only), "-c and -p do not meet");
  return 0;
}
