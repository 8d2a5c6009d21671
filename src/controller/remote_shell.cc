#include "controller/remote_shell.h"

#include <cstdio>

#include "core/messages.h"
#include "platform/platform.h"

namespace controller {

namespace {

// A client invocation: %p is the client's program name, %n the controller
// name, %l the login, %c the credential (password or key file). Every form
// ends with a blank.
struct ShellForm {
  platform::shell::RemoteClient client;
  const char* pattern;
};

using platform::shell::RemoteClient;
constexpr ShellForm kRsh = {RemoteClient::kRsh, "%p %n -l %l -n "};
constexpr ShellForm kPlinkAgent = {RemoteClient::kPlink, "%p -ssh -x -a -batch -l %l %n "};
constexpr ShellForm kPlinkPassword = {RemoteClient::kPlink,
                                      "%p -ssh -x -a -batch -pw %c -l %l %n "};
constexpr ShellForm kSshKeyFile = {RemoteClient::kSsh,
                                   "%p -o BatchMode=yes -2 -ax -i %c -l  %l %n "};
constexpr ShellForm kPlinkKeyFile = {RemoteClient::kPlink, "%p -ssh -x -a -batch -i %c -l %l %n "};

// The forms are tried in this order.
const ShellForm& choose_form(const core::RunOptions& o) {
  if (!o.ssh) return kRsh;
  if (o.credential.empty()) return kPlinkAgent;
  if (o.use_password) return kPlinkPassword;
  if (o.use_ssh_exe) return kSshKeyFile;
  return kPlinkKeyFile;
}

// One value of the prefix, quoted for the interpreter when needed.
struct Value {
  const char* what;  // how the user knows it, for messages
  std::string text;
  std::string quoted;
};

bool quote_value(Value& value, const core::RunOptions& options, const std::string& filer,
                 const ShellForm& form, std::string& error) {
  if (!platform::shell::quote_argument(value.text, value.quoted)) {
    error = core::format(
        "ERROR: Controller %s: the %s holds a character that cannot be passed safely to %s "
        "(a control character; on Windows also a double quote or a percent sign)\n",
        filer.c_str(), value.what, platform::shell::remote_client_program(form.client));
    return false;
  }
  // Logs hide passwords by finding them in the text; quoting must not split one.
  bool split = false;
  auto check = [&](const std::string& secret) {
    split = split || (!secret.empty() && value.text.find(secret) != std::string::npos &&
                      value.quoted.find(secret) == std::string::npos);
  };
  check(options.password);
  for (const std::string& secret : options.secrets) check(secret);
  if (split) {
    error = core::format(
        "ERROR: Controller %s: the %s cannot be passed to %s without showing the password "
        "in the logs; use a password without quote characters\n",
        filer.c_str(), value.what, platform::shell::remote_client_program(form.client));
    return false;
  }
  return true;
}

}  // namespace

std::string login_user(const std::string& login) {
  return login.substr(0, login.find(':'));
}

bool build_shell_prefix(const core::RunOptions& options, const std::string& name,
                        std::string& prefix, std::string& error) {
  const ShellForm& form = choose_form(options);
  Value values[] = {
      {"controller name", name, ""},
      {"login given with -l", login_user(options.login), ""},
      {options.use_password ? "password given with -S pw:" : "key file given with -S kf:",
       options.credential, ""},
  };
  std::string built;
  for (const char* at = form.pattern; *at != '\0'; ++at) {
    if (*at != '%') {
      built += *at;
      continue;
    }
    ++at;
    if (*at == 'p') {
      built += platform::shell::remote_client_program(form.client);
      continue;
    }
    Value& value = values[*at == 'n' ? 0 : *at == 'l' ? 1 : 2];
    if (!quote_value(value, options, name, form, error)) return false;
    built += value.quoted;
  }
  if (built.size() > kMaxShellPrefix) {
    error = core::format(
        "ERROR: Controller %s: the %s command would be %d characters long; at most %d are "
        "allowed. Use a shorter controller name, login or key file path.\n",
        name.c_str(), platform::shell::remote_client_program(form.client),
        static_cast<int>(built.size()), static_cast<int>(kMaxShellPrefix));
    return false;
  }
  prefix = built;
  return true;
}

void set_shell_prefix(core::FilerTarget& filer) {
  std::string error;
  if (!build_shell_prefix(core::state().options, filer.name, filer.shell_prefix, error)) {
    std::fputs(error.c_str(), stderr);
    core::exit_run(1);
  }
}

void check_shell_prefixes() {
  for (const core::FilerTarget& filer : core::state().filers) {
    std::string prefix;
    std::string error;
    if (!build_shell_prefix(core::state().options, filer.name, prefix, error)) {
      std::fputs(error.c_str(), stderr);
      core::exit_run(1);
    }
  }
}

platform::shell::RemoteClient remote_client(const core::RunOptions& options) {
  return choose_form(options).client;
}

std::string filer_command_line(const core::FilerTarget& filer, const std::string& command) {
  return filer.shell_prefix + " \"" + filer.priv_prefix + " " + command + " " + filer.priv_suffix +
         "\"";
}

}  // namespace controller
