// The names shown in marker lines, and the text replacement beside them.
// Input: a command line; for the replacement, its first two lines are the
// search and replacement texts and the rest is the text.
#include "core/state.h"
#include "exec/wrappers.h"
#include "fuzz_input.h"
#include "platform/platform.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  core::reset_state();
  const char sep = platform::shell::path_separator();
  core::state().temp_dir = std::string(1, sep) + "tmp" + sep + "kestrel" + sep + "4242" + sep;

  const std::string command = fuzz::text(data, size);
  const std::string shown = exec::friendly_name(command);
  fuzz::require(shown == command || shown.find(sep) == std::string::npos,
                "a shortened name is a bare file name");

  std::vector<std::string> parts = fuzz::parts(data, size, 3);
  const std::string& search = parts[0];
  const std::string& replacement = parts[1];
  std::string text = parts[2];
  exec::replace_all(text, search, search);
  fuzz::require(text == parts[2], "replacing a text by itself changes nothing");
  exec::replace_all(text, search, replacement);
  if (search.empty()) fuzz::require(text == parts[2], "an empty search changes nothing");
  return 0;
}
