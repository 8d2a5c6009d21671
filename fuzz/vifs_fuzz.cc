// "vif status" replies: the interface names kept for the run.
#include "controller/discovery.h"
#include "core/state.h"
#include "fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  core::reset_state();
  std::vector<std::string> names = controller::vif_names("fuzz1", fuzz::lines(data, size));
  fuzz::require(names.size() <= controller::kMaxVifs, "at most kMaxVifs kept");
  for (const std::string& name : names) {
    fuzz::require(fuzz::fits_command_line(name, false), "a kept interface name is plain");
  }
  return 0;
}
