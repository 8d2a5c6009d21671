#include "controller/sim/serve.h"

#include <optional>

#include "controller/sim/client.h"
#include "controller/sim/model.h"
#include "controller/sim/output.h"
#include "controller/sim/session.h"
#include "controller/sim/text.h"
#include "platform/platform.h"

namespace ctlsim {

namespace {

constexpr const char* kServeUsage =
    "usage: ctlsim serve NAME [-c COMMAND]\n"
    "       (without -c the command is taken from SSH_ORIGINAL_COMMAND)\n";

}  // namespace

int run_serve(const std::vector<std::string>& args) {
  // args[0] is "serve".
  std::string remote;
  bool given = false;
  if (args.size() == 4 && args[2] == "-c") {
    remote = args[3];
    given = true;
  } else if (args.size() == 2) {
    std::optional<std::string> original = platform::get_env("SSH_ORIGINAL_COMMAND");
    given = original.has_value();
    remote = original.value_or("");
  }
  if (args.size() < 2 || !given) {
    err(kServeUsage);
    return 2;
  }
  const std::string& name = args[1];
  const std::vector<std::string> logged(args.begin() + 1, args.end());
  if (!valid_controller_name(name)) {
    log_invocation("_rejected", "serve", "badargs", remote, logged);
    err(format("ctlsim serve: not a controller name: \"%s\"\n", name.c_str()));
    return 2;
  }
  std::optional<Latency> override_latency;
  if (!latency_override(override_latency)) {
    log_invocation(name, "serve", "badenv", remote, logged);
    return 1;
  }
  Model model;
  std::string error;
  ModelLookup lookup = find_model(name, model, error);
  if (lookup == ModelLookup::kBroken) {
    log_invocation(name, "serve", "badmodel", remote, logged);
    err("ctlsim: broken model: " + error + "\n");
    return 1;
  }
  if (lookup == ModelLookup::kMissing || any_command_unreachable(model, remote)) {
    log_invocation(name, "serve", "unreachable", remote, logged);
    err(format("ctlsim serve: controller %s is not answering\n", name.c_str()));
    return 1;
  }
  log_invocation(name, "serve", "ok", remote, logged);
  spend_latency(model, override_latency);
  return answer_remote_command(model, remote);
}

}  // namespace ctlsim
