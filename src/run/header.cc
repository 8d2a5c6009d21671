#include "run/header.h"

#include "core/state.h"
#include "exec/runner.h"
#include "platform/platform.h"
#include "run/header_internal.h"
#include "run/usage.h"

namespace run {

namespace {

// One key line: whether the setting differs from its default, and its value.
struct HeaderRow {
  const char* key;
  bool set;
  std::string value;
};

const char* truth(bool value) {
  return value ? "TRUE" : "FALSE";
}

std::vector<HeaderRow> header_rows() {
  const core::RunOptions& o = core::state().options;
  return {
      {"APP_NAME", !o.app_name.empty(), o.app_name},
      {"CONFIG_ONLY", o.config_only, truth(o.config_only)},
      {"DEBUG", o.debug, truth(o.debug)},
      {"FILER_TARGETS", o.filers_given, o.filer_targets},
      {"FILER_ONLY", !o.collect_host, truth(!o.collect_host)},
      {"ITERATIONS", o.iterations != 1, std::to_string(o.iterations)},
      {"ITER_INTERVAL", o.iter_interval != 0, std::to_string(o.iter_interval)},
      {"FORCE_ITERATIONS", o.force_iterations, truth(o.force_iterations)},
      {"FILER_LOGIN", o.login != "root", exec::mask_password(o.login)},
      {"FORCED_OS", !o.forced_os.empty(), o.forced_os},
      {"DO_VZONE", !o.do_vzone, truth(o.do_vzone)},
      {"APP_PARAM", !o.app_param.empty(), o.app_param},
      {"PERF_ONLY", o.perf_only, truth(o.perf_only)},
      {"QUIET", o.quiet, truth(o.quiet)},
      {"TIME", o.sample_minutes != 2, std::to_string(o.sample_minutes)},
      {"PRETEND", o.pretend, truth(o.pretend)},
      {"LOGS", o.logs, truth(o.logs)},
      {"PROFILES", o.profiles_given, truth(o.profiles_given)},
      {"EXCLUDE", o.exclude_given, truth(o.exclude_given)},
      {"STUTTER STATIT", !o.stutter_statit, truth(o.stutter_statit)},
      {"FULL_STUTTER STATIT", o.full_stutter_statit, truth(o.full_stutter_statit)},
      {"SSH", o.ssh, truth(o.ssh)},
      {"SKTRACE", o.sktrace, truth(o.sktrace)},
      {"CMD_TIMEOUT", o.command_timeout_ms != 70000, std::to_string(o.command_timeout_ms / 1000)},
  };
}

}  // namespace

void write_run_header(std::FILE* out, const std::vector<std::string>& args,
                      const std::string& os_name) {
  const core::RunState& s = core::state();
  std::fprintf(out, "*------------- Kestrel v%s -------------*\n", kVersionNumber);
  for (const HeaderRow& row : header_rows()) {
    // The key, its comma and padding fill 21 columns.
    std::string key = std::string(row.key) + ",";
    std::fprintf(out, "%-21s%s \"%s\"\n", key.c_str(), row.set ? "set,       " : "default,   ",
                 row.value.c_str());
  }
  std::fputs("\n", out);
  std::fprintf(out, "SOURCE_HOST_NAME,    %s\n", s.host_name.c_str());
  std::fprintf(out, "SOURCE_HOST_OS,      %s\n", os_name.empty() ? "unknown" : os_name.c_str());
  std::fputs("COMMAND_LINE,       ", out);
  for (const std::string& arg : args) std::fprintf(out, "%s ", exec::mask_password(arg).c_str());
  std::fputs("\n\n", out);
  std::fprintf(out, "SAMPLES,            %d\n", s.options.sample_count);
  std::fprintf(out, "SAMPLE_INTERVAL,    %d\n", s.options.sample_interval);
  std::fputs("\n", out);
}

void print_run_header(int argc, char** argv) {
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
  write_run_header(stdout, args, platform::os_name());
}

}  // namespace run
