// "vzone status" and "vzone status -r" replies (the same lines serve as
// both): names, root paths and the pairs kept for the run.
#include "controller/discovery.h"
#include "core/state.h"
#include "fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  core::reset_state();
  const std::vector<std::string> reply = fuzz::lines(data, size);
  std::vector<std::string> names = controller::vzone_names(reply);
  for (const std::string& name : names) {
    fuzz::require(!name.empty() && name.find(' ') == std::string::npos, "a name is one word");
  }
  std::vector<std::string> paths =
      controller::vzone_root_paths(reply, names.empty() ? "" : names.front());

  std::vector<core::VirtualController> vzones = controller::pair_vzones("fuzz1", names, paths);
  fuzz::require(vzones.size() <= controller::kMaxVzones, "at most kMaxVzones kept");
  fuzz::require(vzones.size() <= names.size() && vzones.size() <= paths.size(),
                "only whole pairs are kept");
  for (const core::VirtualController& vzone : vzones) {
    fuzz::require(fuzz::fits_command_line(vzone.name, false), "a kept name is plain");
    fuzz::require(fuzz::fits_command_line(vzone.root_path, true), "a kept root path is plain");
  }
  return 0;
}
