// The controller's statistics instances around the sampling wait: the
// all-objects instance with its report split per object, and the timing
// lines of the per-object instances of legacy mode.
#pragma once

#include <cstdint>
#include <cstdio>
#include <istream>
#include <string>

#include "core/collection.h"

namespace phases {

enum StatsAction { kStatsStart = 1, kStatsStop = 2 };

// Starts or stops the collection's controller's all-objects instance.
void stats_action(const core::Collection& collection, int action);

// Called for every command line of a controller's collection: in legacy
// stats mode prints TIME lines (and TIME_DELTA for a stop whose start it
// saw) for stats commands.
void stats_timing_hook(const core::Collection& collection, const std::string& command_line);

// What each per-object section of the split report is headed with.
struct PresetHeader {
  std::string filer_name;
  std::int64_t stop_epoch = 0;
  std::string stop_text;
  int seconds = 0;
};

// The preset name of a statistics object ("kestrel_vol", "kestrel_nfs",
// "kestrel_<object>").
std::string preset_name(const std::string& object);

// The most sections one "stats stop" reply may make; a controller has a few
// dozen statistics objects.
constexpr size_t kMaxPresetSections = 256;

// Prints a "stats stop" capture again, one section per statistics object,
// its lines screened as every controller text is. True when the reply held
// more objects than kMaxPresetSections (the rest is dropped, with a note).
bool split_stats_capture(std::istream& capture, const PresetHeader& header, std::FILE* out);

}  // namespace phases
