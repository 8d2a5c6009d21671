#include "phases/filer_sections.h"

#include <cstdio>

#include "controller/licenses.h"
#include "controller/reply_checks.h"
#include "controller/setup.h"
#include "core/messages.h"
#include "core/state.h"
#include "exec/query.h"
#include "exec/wrappers.h"
#include "phases/catalogue.h"
#include "phases/collections.h"
#include "phases/stats_presets.h"
#include "phases/vzone_expansion.h"
#include "samplers/profiles.h"
#include "samplers/sampler_table.h"
#include "samplers/sktrace.h"

namespace phases {

namespace {

constexpr size_t kMaxLogFiles = 100;

// In the last iteration with -L: the controller's log files, the file listed
// last copied first.
void copy_logs(const core::Collection& collection) {
  core::RunState& st = core::state();
  if (!st.options.logs || st.iteration != st.options.iterations) return;
  core::debug_line("Reading logs");
  bool capped = false;
  std::vector<std::string> commands = log_copy_commands(
      collection.filer->name, exec::list_filer_directory(collection, "/etc/log"), capped);
  if (capped) core::progress("Note: Only first 100 log files read\n");
  for (auto command = commands.rbegin(); command != commands.rend(); ++command) {
    exec::run_filer_command(collection, *command);
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
      core::debug_line("Skipping", name);
      continue;
    }
    if (!controller::screen_reply_name(filer_name, controller::ReplyName::kLogFile, name)) continue;
    core::debug_line("Copying file", name);
    commands.push_back("rdfile /etc/log/" + name);
  }
  // The note also comes when the hundredth file was the last one listed.
  if (commands.size() == kMaxLogFiles) capped = true;
  return commands;
}

void filers_setup() {
  for_each_filer([](core::Collection& collection) {
    core::FilerTarget& filer = *collection.filer;
    filer.vrs_rebuild = true;
    core::debug_line("Get filer config", filer.name);
    controller::setup_filer(collection);
  });
}

void filers_prestats() {
  core::debug_line(" -Filer prestats- ");
  for_each_filer([](core::Collection& collection) {
    core::FilerTarget& filer = *collection.filer;
    filer.started_stats.clear();
    core::progress("Checking filer " + filer.name + "\n");
    controller::read_licenses(collection);
    core::debug_line("  -Check license");
    std::fprintf(collection.out, "=-=-=-=-=-= BEGIN PRESTATS =-=-=-=-=-= %s\n", filer.name.c_str());
    core::progress("Prestats on " + filer.name + "; OS: " + filer.release + "\n");
    run_prestats_catalogue(collection);
    core::debug_line("  -Prestat filer");
    if (!filer.legacy_stats) stats_action(collection, kStatsStart);
    std::fprintf(collection.out, "=-=-=-=-=-= END PRESTATS =-=-=-=-=-= %s\n", filer.name.c_str());
    if (core::state().options.do_vzone) expand_virtual_controllers(collection, "PRESTATS");
  });
}

void filers_before_sampling() {
  // One controller after the other on this thread: the samplers' table is
  // filled by the main thread only.
  for (core::FilerTarget& filer : core::state().filers) {
    core::Collection collection = filer_collection(filer, stdout, kLoneCollection);
    // Commands run while the samplers start (old profile files removed)
    // belong to the controller's own performance section.
    collection.section = "PERF " + filer.name + " PRESTATS";
    controller::read_licenses(collection);
    samplers::start_filer_samplers(collection);
  }
}

void filers_poststats() {
  core::debug_line(" -Filer poststats- ");
  for_each_filer([](core::Collection& collection) {
    const core::RunOptions& o = core::state().options;
    core::FilerTarget& filer = *collection.filer;
    controller::read_licenses(collection);
    core::debug_line("  -Check license");
    std::fprintf(collection.out, "=-=-=-=-=-= BEGIN POSTSTATS =-=-=-=-=-= %s\n",
                 filer.name.c_str());
    core::progress("Poststats on " + filer.name + "; OS: " + filer.release + "\n");
    if (!filer.legacy_stats) stats_action(collection, kStatsStop);
    run_poststats_catalogue(collection);
    core::debug_line("  -Poststat filer");
    if (!o.pretend && !o.config_only) {
      samplers::collect_profile_files(collection);
      samplers::collect_sktrace_files(collection);
      copy_logs(collection);
    }
    core::debug_line("  -Poststat filer background");
    exec::dump_temp_files(collection);
    std::fprintf(collection.out, "=-=-=-=-=-= END POSTSTATS =-=-=-=-=-= %s\n", filer.name.c_str());
    if (o.do_vzone) expand_virtual_controllers(collection, "POSTSTATS");
  });
}

}  // namespace phases
