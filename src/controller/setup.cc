#include "controller/setup.h"

#include <cstdio>

#include "controller/discovery.h"
#include "controller/release.h"
#include "controller/remote_shell.h"
#include "core/messages.h"
#include "core/state.h"
#include "exec/query.h"
#include "exec/runner.h"
#include "exec/wrappers.h"
#include "platform/platform.h"

namespace controller {

namespace {

bool any_line_contains(const std::vector<std::string>& lines, const char* word) {
  for (const std::string& line : lines) {
    if (line.find(word) != std::string::npos) return true;
  }
  return false;
}

}  // namespace

bool version_reply_answers(const std::vector<std::string>& reply) {
  if (reply.empty()) return false;
  const std::string& first = reply.front();
  return first.find("Corvex") != std::string::npos || first.find("MERIX") != std::string::npos;
}

PrivilegeWords privilege_words(const std::vector<std::string>& help_reply) {
  if (any_line_contains(help_reply, "statit")) return {"", ""};
  if (any_line_contains(help_reply, "priv")) return {"priv set -q diag ;", ""};
  return {"rc_toggle_basic ;", "; rc_toggle_basic"};
}

void setup_filer(const core::Collection& collection) {
  core::FilerTarget& filer = *collection.filer;
  const core::RunOptions& o = core::state().options;
  filer.stats_enabled = false;
  filer.domain_stats = true;
  filer.sktrace_off = false;
  filer.priv_prefix.clear();
  filer.priv_suffix.clear();

  set_shell_prefix(filer);
  core::debug_line("Using RSH/SSH command", exec::mask_password(filer.shell_prefix));

  if (!version_reply_answers(exec::capture_filer_query(collection, "version"))) {
    core::error_line(
        core::format("%cSH to filer %s fails! Quitting.", o.ssh ? 'S' : 'R', filer.name.c_str()));
    core::exit_run(1);
  }

  PrivilegeWords words = privilege_words(exec::capture_filer_query(collection, "help"));
  filer.priv_prefix = words.prefix;
  filer.priv_suffix = words.suffix;
  core::debug_line("Priv command", filer.priv_prefix);

  // Memory statistics run from here to the poststats "mem_stats -e".
  if (!o.critical_only) {
    // Through the interpreter, which reads the redirection of its errors.
    std::string mem_stats = platform::shell::interpreter(
        exec::with_errors_logged(collection, filer_command_line(filer, "mem_stats -b")));
    if (!o.config_only) {
      exec::run_command(collection, mem_stats);
      exec::log_command_errors(collection);
    }
  }

  map_release(collection);

  if (o.mode_given || o.critical_only) {
    filer.vzones.clear();
    filer.vifs.clear();
    return;
  }
  discover_vzones(collection);
  if (o.skip_vifs) {
    filer.vifs.clear();
  } else {
    discover_vifs(collection);
  }
}

}  // namespace controller
