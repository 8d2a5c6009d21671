// How a controller is reached: the remote-shell client, its arguments, and
// the shape of every command line run on a controller.
#pragma once

#include <cstddef>
#include <string>

#include "core/state.h"
#include "platform/platform.h"

namespace controller {

// Longest remote-shell prefix accepted.
constexpr std::size_t kMaxShellPrefix = 255;

// The remote-shell prefix for controller `name` under the run's options:
// rsh, plink (no credential, password or key file) or ssh (key file with
// -g), under the host's program names for them. It ends with a blank. Values that are not plain
// words are quoted for the host interpreter. Returns false with a complete "ERROR: ...\n" text in
// `error` when a value cannot be passed intact, would leave the password readable in logs, or the
// prefix would be too long.
bool build_shell_prefix(const core::RunOptions& options, const std::string& name,
                        std::string& prefix, std::string& error);

// The user name of a -l login: the text before its first colon. What follows
// the colon is a password, never sent as part of a user name.
std::string login_user(const std::string& login);

// The client the run's options choose.
platform::shell::RemoteClient remote_client(const core::RunOptions& options);

// Builds the prefix of every controller before any is contacted; ends the run
// with status 1 at the first that cannot be built.
void check_shell_prefixes();

// Sets the controller's shell_prefix, or ends the run with status 1.
void set_shell_prefix(core::FilerTarget& filer);

// One command on the controller: the prefix, then the privilege prefix, the
// command and the privilege suffix as one double-quoted argument.
std::string filer_command_line(const core::FilerTarget& filer, const std::string& command);

}  // namespace controller
