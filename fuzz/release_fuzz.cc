// Release strings: a "version" reply or a forced -O text (first byte odd),
// mapped to a number, a rung of the ladder and the controller's switches.
#include "controller/release.h"
#include "core/state.h"
#include "fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  core::reset_state();
  core::state().options.quiet = true;
  const std::string text = fuzz::text(data + 1, size - 1);
  // An empty -O value forces nothing.
  const bool forced = (data[0] & 1) != 0 && !text.empty();

  const int number = controller::parse_release(text, forced);
  const std::string release = controller::ladder_release(number);
  fuzz::require(release.compare(0, 5, "MERIX") == 0, "every rung is a MERIX release");

  core::FilerTarget filer;
  filer.name = "fuzz1";
  if (forced) core::state().options.forced_os = text;
  controller::apply_release(filer, text);
  fuzz::require(filer.release_number == number, "the mapping parses as parse_release does");
  fuzz::require(filer.release == (forced        ? text
                                  : number != 0 ? release
                                                : "MERIX"),
                "the release is the forced text or the ladder's rung");
  fuzz::require(filer.statit_mode >= 0 && filer.statit_mode <= 2, "a known statit mode");
  return 0;
}
