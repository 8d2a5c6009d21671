// The simulator's own command line, when it runs under its own name.
#pragma once

#include <string>
#include <vector>

namespace ctlsim {

// `argv0` is how the program was started; `args` the arguments after it.
int run_admin(const std::string& argv0, const std::vector<std::string>& args);

}  // namespace ctlsim
