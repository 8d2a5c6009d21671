#include "controller/filer_names.h"

#include <cstdio>

#include "run/messages.h"
#include "run/state.h"

namespace controller {

bool is_valid_filer_name(const std::string& name) {
  if (name.empty() || name.size() > 255) return false;
  for (char c : name) {
    bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
              c == '.' || c == '-' || c == '_' || c == ':';
    if (!ok) return false;
  }
  return name.front() != '-';
}

void check_filer_names() {
  for (const run::FilerTarget& filer : run::state().filers) {
    if (!is_valid_filer_name(filer.name)) {
      std::fprintf(stderr,
                   "ERROR: Invalid controller name \"%s\": use a host name or an IP address "
                   "(letters, digits, '.', '-', '_' and ':' only)\n",
                   filer.name.c_str());
      run::exit_run(1);
    }
  }
}

}  // namespace controller
