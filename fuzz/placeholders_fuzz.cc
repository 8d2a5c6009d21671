// The VZNAME and VZPATH placeholders of per-virtual-controller commands.
// Input: name, root path and template text, one per line (the text keeps
// the rest).
#include "core/state.h"
#include "fuzz_input.h"
#include "phases/vzone_expansion.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  core::reset_state();
  std::vector<std::string> parts = fuzz::parts(data, size, 3);
  const std::string& name = parts[0];
  const std::string& path = parts[1];
  const std::string& text = parts[2];

  const std::string command = phases::expand_template(text, name, path);
  fuzz::require(phases::expand_template(text, "VZNAME", "VZPATH") == text,
                "filling the placeholders with themselves changes nothing");
  if (text.find("VZNAME") == std::string::npos && text.find("VZPATH") == std::string::npos) {
    fuzz::require(command == text, "a text without placeholders is kept");
  }
  return 0;
}
