// Controller names and the host's name reach folder names and command lines:
// only host names and addresses are let through.
#pragma once

#include <string>

namespace controller {

// Empty when `name` may name a target: 1 to 255 letters, digits, '.', '-',
// '_' (and ':' for IPv6 addresses when `allow_colon`), not starting with
// '-', not made of dots only, and not the name of one of the run's own
// scratch files. Otherwise what is wrong with it.
std::string target_name_problem(const std::string& name, bool allow_colon);

// Ends the run with status 1 and a clear message at the first bad name.
void check_filer_names();

// Ends the process with status 1 and a FATAL message when the host's name
// cannot name a folder or go into a command line. Runs before anything is
// made on disk.
void check_host_name(const std::string& name);

}  // namespace controller
