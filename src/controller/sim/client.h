// The remote-shell clients the simulator stands in for: their command lines
// and the way they fail.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "controller/sim/model.h"

namespace ctlsim {

enum class Client { kRsh, kPlink, kSsh, kNone };

// The client named by the program's base name ("rsh.exe", "/x/plink", ...);
// kNone for any other name.
Client client_from_program(const std::string& argv0);

// "rsh.exe", "plink.exe" or "ssh.exe".
std::string client_name(Client client);

struct ClientCall {
  Client client = Client::kNone;
  std::vector<std::string> args;  // the arguments as given
  std::string host;
  std::string login;
  std::string password;
  bool password_given = false;
  std::string key_file;
  bool key_given = false;
  std::string remote;  // the remote command (several words joined by blanks)
};

// Parses `call.args` as `call.client` does. Returns an empty string, or the
// complaint the client prints before its usage line.
std::string parse_client_args(ClientCall& call);

// The client's exit status for a failure (ssh 255, the others 1).
int client_failure_status(Client client);

// The client's messages on standard error.
void report_bad_args(Client client, const std::string& problem);
void report_unreachable(const ClientCall& call);
void report_wrong_password(const ClientCall& call);
void report_no_password(const ClientCall& call);
void report_missing_key(const ClientCall& call);

// Appends one line to `controller`'s invocation log: time, pid, `client`,
// `status`, the remote command, then every argument as given.
void log_invocation(const std::string& controller, const std::string& client,
                    const std::string& status, const std::string& remote,
                    const std::vector<std::string>& args);

// True when a fault of the model makes the controller unreachable for
// `remote` (the whole invocation or one of its commands).
bool any_command_unreachable(const Model& model, const std::string& remote);

// CTLSIM_LATENCY, which overrides every model's latency when set (an empty
// value counts as unset). False, after the complaint on standard error, when
// it is not a latency.
bool latency_override(std::optional<Latency>& latency);

// Spends the controller's round trip once, before an invocation answers: the
// override when there is one, else the model's latency. Real time, not scaled.
void spend_latency(const Model& model, const std::optional<Latency>& override_latency);

// Runs the whole client invocation: checks, log line, answer. Returns the
// exit status.
int run_client(Client client, const std::vector<std::string>& args);

}  // namespace ctlsim
