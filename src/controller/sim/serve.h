// The server side: a real remote-shell server (sshd's forced command, or
// the login shell that rshd runs) hands one received command to the
// simulator, which answers it as the named controller.
#pragma once

#include <string>
#include <vector>

namespace ctlsim {

// "serve NAME [-c COMMAND]": answers COMMAND, or SSH_ORIGINAL_COMMAND when
// -c is not given, as controller NAME, and logs it with the client "serve".
// Returns the exit status.
int run_serve(const std::vector<std::string>& args);

}  // namespace ctlsim
