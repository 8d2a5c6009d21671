// Controller names reach folder names and command lines: only host names and
// addresses are let through.
#pragma once

#include <string>

namespace controller {

// Letters, digits, '.', '-', '_' and ':' (IPv6 addresses), 1 to 255 characters.
bool is_valid_filer_name(const std::string& name);

// Ends the run with status 1 and a clear message at the first bad name.
void check_filer_names();

}  // namespace controller
