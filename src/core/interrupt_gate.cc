#include "core/interrupt_gate.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

#include "core/report_stream.h"
#include "core/state.h"
#include "platform/platform.h"
#include "platform/threads.h"

namespace core {

namespace {

// Lives for the whole process and is never destroyed: the handler may still
// look at it while the main thread runs the exit handlers.
struct InterruptRecord {
  std::mutex lock;
  std::condition_variable changed;
  bool armed = false;
  bool taken = false;
  bool shutting_down = false;
  bool main_held = false;
  bool closed = false;  // the run is ending; no thread but the closer goes on
};

InterruptRecord*& record_pointer() {
  static InterruptRecord* record = new InterruptRecord;
  return record;
}

InterruptRecord& record() {
  return *record_pointer();
}

thread_local bool gate_pass = false;

constexpr std::int64_t kHourMs = 3600 * 1000;

// The gate itself; the caller holds the record's lock.
void hold_if_taken(InterruptRecord& r, std::unique_lock<std::mutex>& hold) {
  if ((!r.taken && !r.closed) || gate_pass) return;
  note_worker_parked();
  r.main_held = true;
  r.changed.notify_all();
  for (;;) r.changed.wait(hold);
}

}  // namespace

void arm_interrupt_steps() {
  std::lock_guard<std::mutex> hold(record().lock);
  record().armed = true;
}

InterruptClaim claim_interrupt() {
  InterruptRecord& r = record();
  std::lock_guard<std::mutex> hold(r.lock);
  if (r.taken || r.shutting_down) return InterruptClaim::kIgnore;
  r.taken = true;
  r.changed.notify_all();
  RunState& st = state();
  platform::StopSignal* stop = st.background_threads.stop;
  if (stop != nullptr) platform::raise_stop(stop);
  if (!r.armed) return InterruptClaim::kEndAtOnce;
  const bool owed = st.in_sampling_wait;
  st.in_sampling_wait = false;
  return owed ? InterruptClaim::kEndRunWithPoststats : InterruptClaim::kEndRun;
}

bool interrupt_taken() {
  std::lock_guard<std::mutex> hold(record().lock);
  return record().taken;
}

bool passes_gates() {
  return gate_pass;
}

void set_passes_gates(bool passes) {
  gate_pass = passes;
}

void hold_if_interrupted() {
  InterruptRecord& r = record();
  std::unique_lock<std::mutex> hold(r.lock);
  hold_if_taken(r, hold);
}

void open_iteration_stop() {
  InterruptRecord& r = record();
  std::unique_lock<std::mutex> hold(r.lock);
  hold_if_taken(r, hold);
  BackgroundThreadTable& table = state().background_threads;
  if (table.stop == nullptr) table.stop = platform::create_stop_signal();
}

void close_iteration_stop(bool close_it) {
  std::lock_guard<std::mutex> hold(record().lock);
  BackgroundThreadTable& table = state().background_threads;
  if (close_it && table.stop != nullptr) platform::close_stop_signal(table.stop);
  table.stop = nullptr;
}

void enter_sampling_wait() {
  InterruptRecord& r = record();
  std::unique_lock<std::mutex> hold(r.lock);
  hold_if_taken(r, hold);
  state().in_sampling_wait = true;
}

void leave_sampling_wait() {
  InterruptRecord& r = record();
  std::unique_lock<std::mutex> hold(r.lock);
  // Taken: the handler runs this iteration's poststats, or runs none.
  hold_if_taken(r, hold);
  state().in_sampling_wait = false;
}

bool sleep_unless_interrupted(std::int64_t milliseconds) {
  InterruptRecord& r = record();
  std::unique_lock<std::mutex> hold(r.lock);
  const std::int64_t deadline = platform::monotonic_ms() + milliseconds;
  while (!r.taken) {
    const std::int64_t left = deadline - platform::monotonic_ms();
    if (left <= 0) return false;
    // In steps, so no clock arithmetic overflows on a very long wait.
    r.changed.wait_for(hold, std::chrono::milliseconds(left < kHourMs ? left : kHourMs));
  }
  return true;
}

void begin_shutdown() {
  InterruptRecord& r = record();
  std::unique_lock<std::mutex> hold(r.lock);
  hold_if_taken(r, hold);
  r.shutting_down = true;
}

bool wait_for_main_to_hold(std::int64_t timeout_ms) {
  InterruptRecord& r = record();
  std::unique_lock<std::mutex> hold(r.lock);
  return r.changed.wait_for(hold, std::chrono::milliseconds(timeout_ms),
                            [&r] { return r.main_held; });
}

void close_gates() {
  InterruptRecord& r = record();
  std::unique_lock<std::mutex> hold(r.lock);
  hold_if_taken(r, hold);
  gate_pass = true;
  r.closed = true;
  r.shutting_down = true;
  r.changed.notify_all();
}

void reset_interrupt() {
  // The old record stays, and stays reachable: threads held at its gates
  // still wait on it.
  static std::vector<InterruptRecord*>* retired = new std::vector<InterruptRecord*>;
  retired->push_back(record_pointer());
  record_pointer() = new InterruptRecord;
  gate_pass = false;
}

}  // namespace core
