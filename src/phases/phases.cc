#include "phases/phases.h"

#include <cstdio>

#include "exec/temp_dir.h"
#include "phases/filer_sections.h"
#include "phases/host_sections.h"
#include "platform/platform.h"
#include "run/messages.h"
#include "run/state.h"
#include "samplers/sampler_table.h"

namespace phases {

void Prestats() {
  run::RunState& st = run::state();
  const run::RunOptions& o = st.options;
  run::debug_line("Prestat- ");
  exec::prepare_target_dirs(st.iteration);
  st.vzone_config_templates.clear();
  st.vzone_perf_templates.clear();
  if (o.pretend) {
    std::fprintf(stderr, "PERF_ONLY: %d  CONF_ONLY: %d\n", o.perf_only ? 1 : 0,
                 o.config_only ? 1 : 0);
  }
  if (!o.config_only) print_perf_date_header("PRESTATS");
  if (o.filers_given) filers_prestats();
  if (o.collect_host) host_prestats();
  if (o.filers_given) {
    st.background_running = true;
    filers_before_sampling();
  }
  if (o.collect_host) {
    st.background_running = true;
    samplers::start_host_samplers();
    run::debug_line("  -Prestat host background");
  }

  if (o.config_only) {
    Poststats();
    run::debug_line(" -Config only; quitting ");
    exec::print_error_log_section();
    exec::destroy_temp_dir();
    run::debug_line(" -Destroy tmp dir");
    run::exit_run(0);
  }
  platform::sleep_ms(500);
}

void Poststats() {
  run::RunState& st = run::state();
  run::debug_line("Poststat- ");
  st.vzone_config_templates.clear();
  st.vzone_perf_templates.clear();
  if (st.options.collect_host) host_poststats();
  if (st.options.filers_given) filers_poststats();
  if (!st.options.config_only) print_perf_date_header("POSTSTATS");
}

}  // namespace phases
