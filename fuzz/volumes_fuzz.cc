// "registry walk options.vols" replies: the safe volume list.
#include "controller/licenses.h"
#include "core/state.h"
#include "fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  core::reset_state();
  const std::vector<std::string> reply = fuzz::lines(data, size);
  std::vector<std::string> volumes = controller::safe_volume_list("fuzz1", reply);
  fuzz::require(volumes.size() <= controller::kMaxSafeVolumes, "at most kMaxSafeVolumes kept");
  fuzz::require(volumes.size() <= reply.size(), "one volume per line at most");
  for (const std::string& volume : volumes) {
    fuzz::require(fuzz::fits_command_line(volume, false), "a kept volume name is plain");
  }
  return 0;
}
