#include "phases/phases.h"

#include <cstdio>

#include "core/messages.h"
#include "core/state.h"
#include "exec/temp_dir.h"
#include "phases/collections.h"
#include "phases/filer_sections.h"
#include "phases/host_sections.h"
#include "platform/platform.h"
#include "samplers/sampler_table.h"

namespace phases {

void Prestats() {
  core::RunState& st = core::state();
  const core::RunOptions& o = st.options;
  core::debug_line("Prestat- ");
  exec::prepare_target_dirs(st.iteration);
  if (o.pretend) {
    std::fprintf(stderr, "PERF_ONLY: %d  CONF_ONLY: %d\n", o.perf_only ? 1 : 0,
                 o.config_only ? 1 : 0);
  }
  if (!o.config_only) print_perf_date_header("PRESTATS");
  if (o.filers_given) filers_prestats();
  core::Collection host = host_collection();
  if (o.collect_host) host_prestats(host);
  if (o.filers_given) {
    st.background_running = true;
    filers_before_sampling();
  }
  if (o.collect_host) {
    st.background_running = true;
    samplers::start_host_samplers(host);
    core::debug_line("  -Prestat host background");
  }

  if (o.config_only) {
    Poststats();
    core::debug_line(" -Config only; quitting ");
    exec::print_error_log_section();
    exec::destroy_temp_dir();
    core::debug_line(" -Destroy tmp dir");
    core::exit_run(0);
  }
  platform::sleep_ms(500);
}

void Poststats() {
  core::RunState& st = core::state();
  core::debug_line("Poststat- ");
  if (st.options.collect_host) {
    core::Collection host = host_collection();
    host_poststats(host);
  }
  if (st.options.filers_given) filers_poststats();
  if (!st.options.config_only) print_perf_date_header("POSTSTATS");
}

}  // namespace phases
