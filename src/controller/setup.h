// Preparing one controller before the first iteration: how it is reached,
// that it answers, its privilege words, release and discovery data.
#pragma once

#include <string>
#include <vector>

#include "core/collection.h"

namespace controller {

// True when the first line of a "version" reply names the controller's
// operating system.
bool version_reply_answers(const std::vector<std::string>& reply);

// The words around every controller command, chosen from the "help" reply:
// none where statit is offered, a diag privilege switch where priv is, and
// the basic mode toggle otherwise.
struct PrivilegeWords {
  std::string prefix;
  std::string suffix;
};
PrivilegeWords privilege_words(const std::vector<std::string>& help_reply);

// Prepares the collection's controller. Ends the run with status 1 when the
// controller does not answer.
void setup_filer(const core::Collection& collection);

}  // namespace controller
