// The collections the phases make, one per target, and the one loop that runs
// a step for every controller: in command-line order, or with --parallel=N up
// to N controllers at the same time with the report kept in that order.
#pragma once

#include <cstddef>
#include <cstdio>
#include <functional>

#include "core/collection.h"
#include "core/state.h"

namespace phases {

// A controller's collection writing its report text into `out`. A lone
// collection uses the run's shared reply files; one of several that run
// side by side uses files numbered `slot`.
constexpr size_t kLoneCollection = static_cast<size_t>(-1);
core::Collection filer_collection(core::FilerTarget& filer, std::FILE* out, size_t slot);

// The host's collection: report text on standard output, its files in the
// host's part of the temp-file list.
core::Collection host_collection();

// Runs `step` once per controller, each with a fresh collection of its own.
// With --parallel=1 one after the other on this thread, writing straight to
// standard output. Otherwise on up to N worker threads, each collection
// spooled and copied to standard output whole, in command-line order, as soon
// as it and all before it are done. Returns when every controller is done.
using FilerStep = std::function<void(core::Collection& collection)>;
void for_each_filer(const FilerStep& step);

}  // namespace phases
