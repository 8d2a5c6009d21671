#include "run/interrupt.h"

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <vector>

#include "exec/temp_dir.h"
#include "exec/wrappers.h"
#include "phases/phases.h"
#include "platform/platform.h"
#include "platform/threads.h"
#include "run/messages.h"
#include "run/state.h"
#include "samplers/wait.h"

namespace run {

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
};

InterruptRecord*& record_pointer() {
  static InterruptRecord* record = new InterruptRecord;
  return record;
}

InterruptRecord& record() {
  return *record_pointer();
}

thread_local bool on_handler_thread = false;

// How long the handler waits for the samplers it stopped (they kill their
// clients and return) and for the main thread's pause after them.
constexpr std::int64_t kSamplersStopMs = samplers::kStopGraceMs + 2000;

// How long the handler lets the main thread reach its next gate when the
// interrupt came outside the sampling wait.
constexpr std::int64_t kMainSettleMs = 2000;

constexpr std::int64_t kHourMs = 3600 * 1000;

// The gate itself; the caller holds the record's lock.
void hold_if_taken(InterruptRecord& r, std::unique_lock<std::mutex>& hold) {
  if (!r.taken || on_handler_thread) return;
  r.main_held = true;
  r.changed.notify_all();
  for (;;) r.changed.wait(hold);
}

void run_steps(bool poststats_owed) {
  RunState& st = state();
  exec::append_error_log("Kestrel caught signal; quitting...");
  progress("Caught signal; quitting...\n");
  progress("Killing background processes...\n");
  // This run's clients only, the samplers' among them; never those of
  // other runs.
  platform::kill_own_descendants();
  if (poststats_owed) {
    // The samplers' files are complete once they have returned and the
    // main thread's wait is over.
    wait_for_main_to_hold(kSamplersStopMs);
    progress("Woke between prestats and poststats- attempting poststats\n");
    phases::Poststats();
    if (st.options.iterations > 1) {
      exec::echo_through_interpreter(format("=-=-=-=-=-= END Iteration %d =-=-=-=-=-= %s",
                                            st.iteration, exec::gmt_timestamp().c_str()));
      exec::print_epoch_line();
    }
  } else {
    wait_for_main_to_hold(kMainSettleMs);
  }
  progress("Appending error log...\n");
  exec::print_error_log_section();
  exec::destroy_temp_dir();
  progress("Done!\n");
  // Anything started since the first kill.
  platform::kill_own_descendants();
  std::fflush(nullptr);
}

}  // namespace

void install_interrupt_handler() {
  if (!platform::install_control_handler(console_ctrl_handler)) {
    std::fprintf(stderr, "WARNING: Unable to register the console control handler: %d\n",
                 platform::last_error());
  }
}

void arm_interrupt_steps() {
  std::lock_guard<std::mutex> hold(record().lock);
  record().armed = true;
}

platform::ControlOutcome console_ctrl_handler(platform::ControlEvent event) {
  if (event != platform::ControlEvent::kInterrupt) {
    // As the console ends its other processes with it.
    platform::kill_own_descendants();
    return platform::ControlOutcome::kEndProcess;
  }
  on_handler_thread = true;
  switch (claim_interrupt()) {
    case InterruptClaim::kIgnore:
      return platform::ControlOutcome::kKeepRunning;
    case InterruptClaim::kEndAtOnce:
      platform::kill_own_descendants();
      break;
    case InterruptClaim::kEndRun:
      run_steps(false);
      break;
    case InterruptClaim::kEndRunWithPoststats:
      run_steps(true);
      break;
  }
  return platform::ControlOutcome::kEndProcess;
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

void reset_interrupt() {
  // The old record stays, and stays reachable: threads held at its gates
  // still wait on it.
  static std::vector<InterruptRecord*>* retired = new std::vector<InterruptRecord*>;
  retired->push_back(record_pointer());
  record_pointer() = new InterruptRecord;
}

}  // namespace run
