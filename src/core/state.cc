#include "run/state.h"

namespace run {

namespace {
std::unique_ptr<RunState>& instance() {
  static std::unique_ptr<RunState> record = std::make_unique<RunState>();
  return record;
}
}  // namespace

RunState& state() {
  return *instance();
}

FilerTarget& current_filer() {
  return state().filers.at(state().current_filer);
}

void reset_state() {
  instance() = std::make_unique<RunState>();
}

}  // namespace run
