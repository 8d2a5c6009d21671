#include "core/state.h"

namespace core {

namespace {
std::unique_ptr<RunState>& instance() {
  static std::unique_ptr<RunState> record = std::make_unique<RunState>();
  return record;
}
}  // namespace

RunState& state() {
  return *instance();
}

void reset_state() {
  instance() = std::make_unique<RunState>();
}

}  // namespace core
