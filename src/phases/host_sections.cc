#include "phases/host_sections.h"

#include <cstdio>

#include "exec/wrappers.h"
#include "platform/platform.h"
#include "run/messages.h"
#include "run/state.h"

namespace phases {

namespace {

void run_host_group(const std::string& section, const std::vector<std::string>& commands) {
  run::state().current_section = section;
  for (const std::string& command : commands) exec::run_host_command(command);
}

}  // namespace

void print_perf_date_header(const char* phase_word) {
  std::printf("=-=-=-=-=-= PERF %s %s =-=-=-=-=-= date\n", run::state().host_name.c_str(),
              phase_word);
  std::printf("%s\n", exec::gmt_timestamp().c_str());
}

void host_prestats() {
  run::RunState& st = run::state();
  const char* host = st.host_name.c_str();
  run::debug_line(" -Host prestats- ");
  std::printf("=-=-=-=-=-= BEGIN PRESTATS =-=-=-=-=-= %s\n", host);
  if (!st.options.perf_only) {
    run_host_group(run::format("CONFIG %s PRESTATS", host),
                   platform::shell::host_config_commands());
  }
  if (!st.options.config_only) {
    run_host_group(run::format("PERF %s PRESTATS", host), platform::shell::host_perf_commands());
  }
  run::debug_line("  -Prestat host");
  run::progress(run::format("Prestats on %s\n", host));
  std::printf("=-=-=-=-=-= END PRESTATS =-=-=-=-=-= %s\n", host);
}

void host_poststats() {
  run::RunState& st = run::state();
  const char* host = st.host_name.c_str();
  run::debug_line(" -Host poststats- ");
  run::progress("Host poststat\n");
  std::printf("=-=-=-=-=-= BEGIN POSTSTATS =-=-=-=-=-= %s\n", host);
  // The configuration title has no command of its own; it frames the dumped
  // files in a config-only run.
  if (!st.options.perf_only) st.current_section = run::format("CONFIG %s POSTSTATS", host);
  if (!st.options.config_only) {
    run_host_group(run::format("PERF %s POSTSTATS", host), platform::shell::host_perf_commands());
  }
  run::debug_line("  -Poststat host");
  run::debug_line("  -Poststat host background");
  exec::dump_temp_files(st.host_name);
  std::printf("=-=-=-=-=-= END POSTSTATS =-=-=-=-=-= %s\n", host);
}

}  // namespace phases
