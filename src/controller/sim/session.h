// One invocation's view of the controller while it answers a remote command.
#pragma once

#include <string>
#include <vector>

#include "controller/sim/model.h"

namespace ctlsim {

using Words = std::vector<std::string>;

struct Session {
  const Model* model = nullptr;
  std::string priv_level = "admin";  // set by "priv set"
  bool basic_toggled = false;        // flipped by "rc_toggle_basic"
};

// Answers a whole remote command: the ";"-joined commands in order, with the
// privilege words and the model's faults. Returns the exit status.
int answer_remote_command(const Model& model, const std::string& remote);

// Answers one command (its words). Used again by "vzone run".
void run_command(Session& session, const Words& words);

// The licence check the replies share: the service is in the model's list.
bool licensed(const Model& model, const std::string& service);

}  // namespace ctlsim
