#include "samplers/wait.h"

#include <climits>
#include <cstdint>
#include <cstdio>

#include "core/interrupt_gate.h"
#include "core/messages.h"
#include "exec/temp_dir.h"
#include "platform/threads.h"

namespace samplers {

namespace {

core::BackgroundThreadTable& table() {
  return core::state().background_threads;
}

// Joins the worker unless the deadline passes first; a deadline further off
// than one platform wait takes is waited for in several.
bool join_before(platform::Thread* thread, std::int64_t deadline) {
  for (;;) {
    const std::int64_t left = deadline - platform::monotonic_ms();
    const int step = left <= 0 ? 0 : left > INT_MAX ? INT_MAX : static_cast<int>(left);
    if (platform::join_thread(thread, step)) return true;
    if (left <= INT_MAX) return false;
  }
}

}  // namespace

std::int64_t wait_timeout_ms(int sample_minutes) {
  const std::int64_t sampling_ms = static_cast<std::int64_t>(sample_minutes) * 60000;
  return sampling_ms + sampling_ms / 2;
}

int background_thread_count() {
  return static_cast<int>(table().threads.size());
}

void wait_for_background_threads() {
  if (!table().threads.empty()) {
    const std::int64_t deadline =
        platform::monotonic_ms() + wait_timeout_ms(core::state().options.sample_minutes);
    bool all_ended = true;
    for (const core::BackgroundThread& worker : table().threads) {
      if (!join_before(worker.thread, deadline)) {
        all_ended = false;
        break;
      }
    }
    if (!all_ended) {
      std::fputs(
          "WARNING: All background threads have not yet returned. Attempting to kill those still "
          "running...\n",
          stderr);
      kill_hung_threads();
    }
  }
  close_background_threads();
  platform::sleep_ms(500);
}

void kill_hung_threads() {
  for (const core::BackgroundThread& worker : table().threads) {
    if (thread_exit_status(worker) == kStillActive) {
      exec::append_error_log("Stopping hung background worker: " + worker.command);
    }
  }
  if (table().stop != nullptr) platform::raise_stop(table().stop);
  const std::int64_t deadline = platform::monotonic_ms() + kStopGraceMs;
  for (const core::BackgroundThread& worker : table().threads) {
    if (!join_before(worker.thread, deadline)) {
      std::fputs("FATAL: Unable to kill hung background thread!\n", stderr);
      core::exit_run(1);
    }
  }
}

int thread_exit_status(const core::BackgroundThread& worker) {
  switch (platform::thread_status(worker.thread)) {
    case platform::ThreadStatus::kRunning:
      return kStillActive;
    case platform::ThreadStatus::kEnded:
      return 0;
    case platform::ThreadStatus::kUnknown:
      break;
  }
  exec::append_error_log(
      core::format("WARNING: Unable to obtain thread status for thread handle %lu",
                   static_cast<unsigned long>(reinterpret_cast<std::uintptr_t>(worker.thread))));
  return 0;
}

void close_background_threads() {
  core::BackgroundThreadTable& t = table();
  bool all_ended = true;
  for (core::BackgroundThread& worker : t.threads) {
    if (platform::thread_status(worker.thread) != platform::ThreadStatus::kEnded) {
      // Never free what a running worker still reads.
      all_ended = false;
      new std::shared_ptr<void>(worker.job);
    }
    platform::close_thread(worker.thread);
  }
  t.threads.clear();
  // Under the interrupt lock: the handler may be raising it just now.
  core::close_iteration_stop(all_ended);
}

}  // namespace samplers
