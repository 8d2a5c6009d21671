#include "phases/filer_sections.h"

#include <cstdio>

#include "controller/licenses.h"
#include "controller/reply_checks.h"
#include "exec/query.h"
#include "exec/wrappers.h"
#include "phases/catalogue.h"
#include "phases/stats_presets.h"
#include "phases/vzone_expansion.h"
#include "run/messages.h"
#include "run/state.h"
#include "samplers/profiles.h"
#include "samplers/sampler_table.h"
#include "samplers/sktrace.h"

namespace phases {

namespace {

constexpr size_t kMaxLogFiles = 100;

void clear_templates() {
  run::state().vzone_config_templates.clear();
  run::state().vzone_perf_templates.clear();
}

template <typename Step>
void for_each_filer(Step step) {
  run::RunState& st = run::state();
  for (size_t i = 0; i < st.filers.size(); ++i) {
    st.current_filer = static_cast<int>(i);
    step(run::current_filer());
  }
}

// In the last iteration with -L: the controller's log files, the file listed
// last copied first.
void copy_logs() {
  run::RunState& st = run::state();
  if (!st.options.logs || st.iteration != st.options.iterations) return;
  run::debug_line("Reading logs");
  bool capped = false;
  std::vector<std::string> commands = log_copy_commands(
      st.filers[st.current_filer].name, exec::list_filer_directory("/etc/log"), capped);
  if (capped) run::progress("Note: Only first 100 log files read\n");
  for (auto command = commands.rbegin(); command != commands.rend(); ++command) {
    exec::run_filer_command(*command);
  }
}

}  // namespace

std::vector<std::string> log_copy_commands(const std::string& filer_name,
                                           const std::vector<std::string>& listing, bool& capped) {
  std::vector<std::string> commands;
  capped = false;
  for (const std::string& line : listing) {
    if (commands.size() == kMaxLogFiles) {
      capped = true;
      break;
    }
    std::string name = line.substr(0, line.find(' '));
    if (name.empty()) continue;
    if (name == "." || name == ".." || name.find("cm_stats") != std::string::npos ||
        name.find("sktrace") != std::string::npos) {
      run::debug_line("Skipping", name);
      continue;
    }
    if (!controller::screen_reply_name(filer_name, controller::ReplyName::kLogFile, name)) continue;
    run::debug_line("Copying file", name);
    commands.push_back("rdfile /etc/log/" + name);
  }
  // The note also comes when the hundredth file was the last one listed.
  if (commands.size() == kMaxLogFiles) capped = true;
  return commands;
}

void filers_prestats() {
  run::RunState& st = run::state();
  run::debug_line(" -Filer prestats- ");
  for_each_filer([&](run::FilerTarget& filer) {
    filer.started_stats.clear();
    clear_templates();
    run::progress("Checking filer " + filer.name + "\n");
    controller::read_licenses();
    run::debug_line("  -Check license");
    std::printf("=-=-=-=-=-= BEGIN PRESTATS =-=-=-=-=-= %s\n", filer.name.c_str());
    run::progress("Prestats on " + filer.name + "; OS: " + filer.release + "\n");
    run_prestats_catalogue();
    run::debug_line("  -Prestat filer");
    if (!filer.legacy_stats) stats_action(kStatsStart);
    std::printf("=-=-=-=-=-= END PRESTATS =-=-=-=-=-= %s\n", filer.name.c_str());
    if (st.options.do_vzone) expand_virtual_controllers("PRESTATS");
  });
}

void filers_before_sampling() {
  for_each_filer([](run::FilerTarget&) {
    controller::read_licenses();
    samplers::start_filer_samplers();
  });
}

void filers_poststats() {
  run::RunState& st = run::state();
  run::debug_line(" -Filer poststats- ");
  for_each_filer([&](run::FilerTarget& filer) {
    clear_templates();
    controller::read_licenses();
    run::debug_line("  -Check license");
    std::printf("=-=-=-=-=-= BEGIN POSTSTATS =-=-=-=-=-= %s\n", filer.name.c_str());
    run::progress("Poststats on " + filer.name + "; OS: " + filer.release + "\n");
    if (!filer.legacy_stats) stats_action(kStatsStop);
    run_poststats_catalogue();
    run::debug_line("  -Poststat filer");
    if (!st.options.pretend && !st.options.config_only) {
      samplers::collect_profile_files();
      samplers::collect_sktrace_files();
      copy_logs();
    }
    run::debug_line("  -Poststat filer background");
    exec::dump_temp_files(filer.name);
    std::printf("=-=-=-=-=-= END POSTSTATS =-=-=-=-=-= %s\n", filer.name.c_str());
    if (st.options.do_vzone) expand_virtual_controllers("POSTSTATS");
  });
}

}  // namespace phases
