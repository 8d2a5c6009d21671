#include "phases/collections.h"

#include <algorithm>
#include <atomic>
#include <string>
#include <vector>

#include "controller/remote_shell.h"
#include "core/interrupt_gate.h"
#include "core/messages.h"
#include "core/report_stream.h"
#include "exec/temp_dir.h"
#include "phases/stats_presets.h"
#include "platform/threads.h"

namespace phases {

namespace {

// What the workers of one side-by-side loop share. Each worker takes the
// next controller not yet taken until none is left.
struct SideBySide {
  const FilerStep* step = nullptr;
  std::vector<core::Collection> collections;
  core::ReportStream* stream = nullptr;
  std::atomic<size_t> next{0};
  bool passes_gates = false;  // started by the interrupt handler
  bool on_workers = true;     // false: this thread does all, in order
};

void collect_side_by_side(void* argument) {
  SideBySide& shared = *static_cast<SideBySide*>(argument);
  core::set_passes_gates(shared.passes_gates);
  for (;;) {
    const size_t index = shared.next++;
    if (index >= shared.collections.size()) {
      if (shared.on_workers) shared.stream->worker_parked();
      return;
    }
    // A fatal error of a worker's collection is handled in order, by the
    // main thread; with no workers it ends the run at once, as always.
    if (shared.on_workers) core::set_worker_collection(shared.stream, index);
    (*shared.step)(shared.collections[index]);
    shared.stream->finish(index);
  }
}

void for_each_filer_side_by_side(const FilerStep& step, size_t width) {
  core::RunState& st = core::state();
  const size_t count = st.filers.size();
  std::vector<std::string> spools;
  for (size_t i = 0; i < count; ++i) spools.push_back(exec::collection_scratch_path("spool-#", i));
  core::ReportStream stream(spools);

  SideBySide shared;
  shared.step = &step;
  shared.stream = &stream;
  shared.passes_gates = core::passes_gates();
  for (size_t i = 0; i < count; ++i) {
    shared.collections.push_back(filer_collection(st.filers[i], stream.spool(i), i));
  }

  std::vector<platform::Thread*> workers;
  for (size_t i = 0; i < width; ++i) {
    stream.worker_started();
    platform::Thread* worker = platform::start_thread(collect_side_by_side, &shared);
    if (worker == nullptr) {
      stream.worker_parked();  // never started
      break;
    }
    workers.push_back(worker);
  }
  if (workers.empty()) {
    // No thread at all: the controllers are still collected, one by one.
    core::error_line(core::format(
        "WARNING: Unable to start threads for parallel collection (error %d); collecting one "
        "controller at a time",
        platform::last_error()));
    shared.on_workers = false;
    collect_side_by_side(&shared);
  }
  switch (stream.copy_in_order()) {
    case core::ReportStream::Outcome::kAllCopied:
      break;
    case core::ReportStream::Outcome::kFailed:
      // As one after the other: the run ends at the first controller that
      // could not go on, once those before it are in the report.
      core::exit_run(stream.failed_status());
    case core::ReportStream::Outcome::kFlushed:
      // The interrupt handler or a fatal error ends the run, and the workers
      // stay where they are; so does this thread.
      core::hold_if_interrupted();
      for (;;) platform::sleep_ms(60 * 1000);
  }
  for (platform::Thread* worker : workers) {
    while (!platform::join_thread(worker, 60 * 1000)) {
    }
    platform::close_thread(worker);
  }
}

}  // namespace

core::Collection filer_collection(core::FilerTarget& filer, std::FILE* out, size_t slot) {
  core::Collection collection;
  collection.filer = &filer;
  collection.out = out;
  collection.temp_files = &filer.temp_files;
  const bool lone = slot == kLoneCollection;
  collection.reply_path = exec::collection_scratch_path(lone ? "tmp.out" : "tmp-#.out", slot);
  collection.listing_path = exec::collection_scratch_path(lone ? "lsout" : "lsout-#", slot);
  collection.stderr_path = exec::collection_scratch_path(lone ? "stderr" : "stderr-#", slot);
  if (!lone) collection.output_path = exec::collection_scratch_path("cmdout-#", slot);
  core::FilerTarget* target = &filer;
  collection.remote_command_line = [target](const std::string& command) {
    return controller::filer_command_line(*target, command);
  };
  collection.before_command = stats_timing_hook;
  return collection;
}

core::Collection host_collection() {
  core::Collection collection;
  collection.temp_files = &core::state().host_temp_files;
  return collection;
}

void for_each_filer(const FilerStep& step) {
  core::RunState& st = core::state();
  const size_t width =
      std::min(static_cast<size_t>(std::max(st.options.parallel, 1)), st.filers.size());
  if (width > 1) {
    for_each_filer_side_by_side(step, width);
    return;
  }
  for (core::FilerTarget& filer : st.filers) {
    core::Collection collection = filer_collection(filer, stdout, kLoneCollection);
    step(collection);
  }
}

}  // namespace phases
