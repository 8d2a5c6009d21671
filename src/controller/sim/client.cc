#include "controller/sim/client.h"

#include <chrono>
#include <cstdint>
#include <filesystem>

#include "controller/sim/faults.h"
#include "controller/sim/model.h"
#include "controller/sim/output.h"
#include "controller/sim/session.h"
#include "controller/sim/store.h"
#include "controller/sim/text.h"
#include "platform/platform.h"

namespace ctlsim {

namespace {

// Where the host name and the remote command start: the first word that is
// not an option; everything after the host is the command.
void take_host_and_command(ClientCall& call, size_t at) {
  call.host = call.args[at];
  size_t sign = call.host.find('@');
  if (sign != std::string::npos) {
    call.login = call.host.substr(0, sign);
    call.host = call.host.substr(sign + 1);
  }
  std::vector<std::string> rest(call.args.begin() + static_cast<long>(at) + 1, call.args.end());
  call.remote = join(rest, " ");
}

std::string parse_rsh(ClientCall& call) {
  const std::vector<std::string>& args = call.args;
  bool host_seen = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "-l") {
      if (i + 1 >= args.size()) return "option -l needs a login name";
      call.login = args[++i];
    } else if (arg == "-n") {
      continue;
    } else if (!arg.empty() && arg[0] == '-') {
      return format("unknown option %s", arg.c_str());
    } else if (!host_seen) {
      call.host = arg;
      host_seen = true;
    } else {
      call.remote =
          join(std::vector<std::string>(args.begin() + static_cast<long>(i), args.end()), " ");
      return "";
    }
  }
  return host_seen ? "no remote command given" : "no host given";
}

std::string parse_plink(ClientCall& call) {
  const std::vector<std::string>& args = call.args;
  const char* const flags[] = {"-ssh", "-x", "-X", "-a", "-A", "-batch",
                               "-t",   "-T", "-v", "-2", "-N"};
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "-pw" || arg == "-l" || arg == "-i" || arg == "-P") {
      if (i + 1 >= args.size()) return format("option \"%s\" requires an argument", arg.c_str());
      const std::string& value = args[++i];
      if (arg == "-pw") {
        call.password = value;
        call.password_given = true;
      } else if (arg == "-l") {
        call.login = value;
      } else if (arg == "-i") {
        call.key_file = value;
        call.key_given = true;
      }
      continue;
    }
    bool flag = false;
    for (const char* known : flags) flag = flag || arg == known;
    if (flag) continue;
    if (!arg.empty() && arg[0] == '-') return format("unknown option \"%s\"", arg.c_str());
    take_host_and_command(call, i);
    return call.remote.empty() ? "no remote command given" : "";
  }
  return "no host given";
}

std::string parse_ssh(ClientCall& call) {
  const std::vector<std::string>& args = call.args;
  const std::string flag_letters = "246aAxXnNqtTvCk";
  const std::string value_letters = "oilp";
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg.size() < 2 || arg[0] != '-') {
      take_host_and_command(call, i);
      return call.remote.empty() ? "no remote command given" : "";
    }
    for (size_t at = 1; at < arg.size(); ++at) {
      char letter = arg[at];
      if (flag_letters.find(letter) != std::string::npos) continue;
      if (value_letters.find(letter) == std::string::npos)
        return format("illegal option -- %c", letter);
      std::string value = arg.substr(at + 1);
      if (value.empty()) {
        if (i + 1 >= args.size()) return format("option requires an argument -- %c", letter);
        value = args[++i];
      }
      if (letter == 'i') {
        call.key_file = value;
        call.key_given = true;
      } else if (letter == 'l') {
        call.login = value;
      } else if (letter == 'o') {
        size_t equals = value.find('=');
        if (equals == std::string::npos || equals == 0) {
          return format("bad configuration option \"%s\"", value.c_str());
        }
        std::string key = value.substr(0, equals);
        std::string setting = value.substr(equals + 1);
        if (key == "BatchMode" && setting != "yes" && setting != "no") {
          return format("unsupported option \"%s\"", value.c_str());
        }
      }
      break;
    }
  }
  return "no host given";
}

std::string usage(Client client) {
  switch (client) {
    case Client::kRsh:
      return "usage: rsh.exe host [-l login] [-n] command\n";
    case Client::kPlink:
      return "usage: plink.exe [-ssh] [-x] [-a] [-batch] [-pw password] [-i keyfile] [-l login] "
             "[user@]host command\n";
    case Client::kSsh:
      return "usage: ssh.exe [-246aAnNqtTvxX] [-i identity_file] [-l login_name] [-o option] "
             "[-p port] [user@]hostname command\n";
    case Client::kNone:
      break;
  }
  return "";
}

std::string time_stamp() {
  auto now = std::chrono::system_clock::now().time_since_epoch();
  long long ms = std::chrono::duration_cast<std::chrono::milliseconds>(now).count();
  return format("%lld.%03lld", ms / 1000, ms % 1000);
}

void log_call(const std::string& controller, const ClientCall& call, const std::string& status) {
  log_invocation(controller, client_name(call.client), status, call.remote, call.args);
}

}  // namespace

bool latency_override(std::optional<Latency>& latency) {
  std::optional<std::string> value = platform::get_env("CTLSIM_LATENCY");
  if (latency_override_from(value, latency)) return true;
  err("ctlsim: bad CTLSIM_LATENCY: " + *value + "\n");
  return false;
}

void spend_latency(const Model& model, const std::optional<Latency>& override_latency) {
  Latency latency = effective_latency(model.latency, override_latency);
  if (latency.max_ms <= 0) return;
  // Time and process id, so that clients started together wait differently.
  auto now = std::chrono::steady_clock::now().time_since_epoch().count();
  std::uint64_t seed =
      static_cast<std::uint64_t>(now) ^
      (static_cast<std::uint64_t>(platform::current_process_id()) * 0x9e3779b97f4a7c15ull);
  std::int64_t ms = pick_latency_ms(latency, seed);
  if (ms > 0) platform::sleep_ms(static_cast<int>(ms));
}

bool any_command_unreachable(const Model& model, const std::string& remote) {
  if (has_fault(faults_for(model, "", true), "unreachable")) return true;
  for (const std::string& piece : split(remote, ';')) {
    if (has_fault(faults_for(model, join(split_words(piece), " "), false), "unreachable"))
      return true;
  }
  return false;
}

void log_invocation(const std::string& controller, const std::string& client,
                    const std::string& status, const std::string& remote,
                    const std::vector<std::string>& args) {
  std::string line = time_stamp() + "\t" + std::to_string(platform::current_process_id()) + "\t" +
                     client + "\t" + status + "\t" + escape_field(remote);
  for (const std::string& arg : args) line += "\t" + escape_field(arg);
  append_log(controller, line);
}

Client client_from_program(const std::string& argv0) {
  std::string base = argv0;
  size_t slash = base.find_last_of("/\\");
  if (slash != std::string::npos) base = base.substr(slash + 1);
  base = lower(base);
  if (ends_with(base, ".exe")) base.resize(base.size() - 4);
  if (base == "rsh") return Client::kRsh;
  if (base == "plink") return Client::kPlink;
  if (base == "ssh") return Client::kSsh;
  return Client::kNone;
}

std::string client_name(Client client) {
  switch (client) {
    case Client::kRsh:
      return "rsh.exe";
    case Client::kPlink:
      return "plink.exe";
    case Client::kSsh:
      return "ssh.exe";
    case Client::kNone:
      break;
  }
  return "ctlsim";
}

std::string parse_client_args(ClientCall& call) {
  switch (call.client) {
    case Client::kRsh:
      return parse_rsh(call);
    case Client::kPlink:
      return parse_plink(call);
    case Client::kSsh:
      return parse_ssh(call);
    case Client::kNone:
      break;
  }
  return "not a remote-shell client";
}

int client_failure_status(Client client) {
  return client == Client::kSsh ? 255 : 1;
}

void report_bad_args(Client client, const std::string& problem) {
  err(client_name(client) + ": " + problem + "\n" + usage(client));
}

void report_unreachable(const ClientCall& call) {
  std::string name = client_name(call.client);
  err(format("%s: cannot reach %s: host unknown or not answering\n", name.c_str(),
             call.host.c_str()));
}

void report_wrong_password(const ClientCall& call) {
  err(format("%s: access denied for %s@%s: password not accepted\n",
             client_name(call.client).c_str(), call.login.c_str(), call.host.c_str()));
}

void report_no_password(const ClientCall& call) {
  err(format("%s: %s@%s needs a password, and batch mode does not ask for one\n",
             client_name(call.client).c_str(), call.login.c_str(), call.host.c_str()));
}

void report_missing_key(const ClientCall& call) {
  err(format("%s: cannot use key file \"%s\": no such file\n", client_name(call.client).c_str(),
             call.key_file.c_str()));
  if (call.client == Client::kSsh) {
    err(format("%s: %s@%s: permission denied (publickey)\n", client_name(call.client).c_str(),
               call.login.c_str(), call.host.c_str()));
  }
}

int run_client(Client client, const std::vector<std::string>& args) {
  ClientCall call;
  call.client = client;
  call.args = args;
  call.login = "root";
  std::string problem = parse_client_args(call);
  std::string log_name = valid_controller_name(call.host) ? call.host : "_rejected";
  int failure = client_failure_status(client);
  if (!problem.empty()) {
    log_call(log_name, call, "badargs");
    report_bad_args(client, problem);
    return failure;
  }
  std::optional<Latency> override_latency;
  if (!latency_override(override_latency)) {
    log_call(log_name, call, "badenv");
    return failure;
  }
  Model model;
  std::string error;
  ModelLookup lookup = find_model(call.host, model, error);
  if (lookup == ModelLookup::kBroken) {
    log_call(log_name, call, "badmodel");
    err("ctlsim: broken model: " + error + "\n");
    return failure;
  }
  if (lookup == ModelLookup::kMissing || any_command_unreachable(model, call.remote)) {
    log_call(log_name, call, "unreachable");
    report_unreachable(call);
    return failure;
  }
  std::error_code ec;
  if (call.key_given && !std::filesystem::exists(call.key_file, ec)) {
    log_call(log_name, call, "nokey");
    report_missing_key(call);
    return failure;
  }
  if (call.password_given && !model.password.empty() && call.password != model.password) {
    log_call(log_name, call, "denied");
    report_wrong_password(call);
    return failure;
  }
  if (client != Client::kRsh && !model.password.empty() && !call.password_given &&
      !call.key_given) {
    log_call(log_name, call, "denied");
    report_no_password(call);
    return failure;
  }
  log_call(log_name, call, "ok");
  spend_latency(model, override_latency);
  return answer_remote_command(model, call.remote);
}

}  // namespace ctlsim
