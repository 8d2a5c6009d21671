#include "phases/host_sections.h"

#include <cstdio>

#include "core/messages.h"
#include "core/state.h"
#include "exec/wrappers.h"
#include "platform/platform.h"

namespace phases {

namespace {

void run_host_group(core::Collection& host, const std::string& section,
                    const std::vector<std::string>& commands) {
  host.section = section;
  for (const std::string& command : commands) exec::run_host_command(host, command);
}

}  // namespace

void print_perf_date_header(const char* phase_word) {
  std::printf("=-=-=-=-=-= PERF %s %s =-=-=-=-=-= date\n", core::state().host_name.c_str(),
              phase_word);
  std::printf("%s\n", exec::gmt_timestamp().c_str());
}

void host_prestats(core::Collection& collection) {
  core::RunState& st = core::state();
  const char* name = st.host_name.c_str();
  core::debug_line(" -Host prestats- ");
  std::printf("=-=-=-=-=-= BEGIN PRESTATS =-=-=-=-=-= %s\n", name);
  if (!st.options.perf_only) {
    run_host_group(collection, core::format("CONFIG %s PRESTATS", name),
                   platform::shell::host_config_commands());
  }
  if (!st.options.config_only) {
    run_host_group(collection, core::format("PERF %s PRESTATS", name),
                   platform::shell::host_perf_commands());
  }
  core::debug_line("  -Prestat host");
  core::progress(core::format("Prestats on %s\n", name));
  std::printf("=-=-=-=-=-= END PRESTATS =-=-=-=-=-= %s\n", name);
}

void host_poststats(core::Collection& collection) {
  core::RunState& st = core::state();
  const char* name = st.host_name.c_str();
  core::debug_line(" -Host poststats- ");
  core::progress("Host poststat\n");
  std::printf("=-=-=-=-=-= BEGIN POSTSTATS =-=-=-=-=-= %s\n", name);
  // The configuration title has no command of its own; it frames the dumped
  // files in a config-only run.
  if (!st.options.perf_only) collection.section = core::format("CONFIG %s POSTSTATS", name);
  if (!st.options.config_only) {
    run_host_group(collection, core::format("PERF %s POSTSTATS", name),
                   platform::shell::host_perf_commands());
  }
  core::debug_line("  -Poststat host");
  core::debug_line("  -Poststat host background");
  exec::dump_temp_files(collection);
  std::printf("=-=-=-=-=-= END POSTSTATS =-=-=-=-=-= %s\n", name);
}

}  // namespace phases
