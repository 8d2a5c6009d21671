#include "controller/filer_names.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>

#include "core/messages.h"
#include "core/state.h"
#include "exec/temp_dir.h"

namespace controller {

std::string target_name_problem(const std::string& name, bool allow_colon) {
  if (name.empty()) return "it is empty";
  if (name.size() > 255) return "it is longer than 255 characters";
  for (char c : name) {
    bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
              c == '.' || c == '-' || c == '_' || (allow_colon && c == ':');
    if (!ok) {
      return allow_colon ? "use letters, digits, '.', '-', '_' and ':' only"
                         : "use letters, digits, '.', '-' and '_' only";
    }
  }
  if (name.front() == '-') return "it starts with '-'";
  if (name.find_first_not_of('.') == std::string::npos) return "it is made of dots only";
  if (exec::is_scratch_file_name(name)) return "it is the name of one of kestrel's own files";
  return "";
}

void check_filer_names() {
  for (const core::FilerTarget& filer : core::state().filers) {
    std::string problem = target_name_problem(filer.name, true);
    if (!problem.empty()) {
      std::fprintf(stderr,
                   "ERROR: Invalid controller name \"%s\": %s; use a host name or an IP address\n",
                   filer.name.c_str(), problem.c_str());
      core::exit_run(1);
    }
  }
}

void check_host_name(const std::string& name) {
  std::string problem = target_name_problem(name, false);
  if (problem.empty()) return;
  std::string shown = name;
  for (char& c : shown) {
    if (!std::isprint(static_cast<unsigned char>(c))) c = '?';
  }
  std::fprintf(stderr, "FATAL: Invalid host name \"%s\" in env var computername: %s\n",
               shown.c_str(), problem.c_str());
  std::exit(1);
}

}  // namespace controller
