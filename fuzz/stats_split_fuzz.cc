// A "stats stop" capture printed again, one section per statistics object.
#include <sstream>

#include "core/state.h"
#include "fuzz_input.h"
#include "phases/stats_presets.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  core::reset_state();
  std::istringstream capture(fuzz::text(data, size));
  const phases::PresetHeader header{"fuzz1", 1700000000, "Mon Dec 07 18:20:01 GMT 2026", 125};
  phases::split_stats_capture(capture, header, fuzz::sink());
  return 0;
}
