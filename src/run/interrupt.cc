#include "run/interrupt.h"

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <vector>

#include "core/messages.h"
#include "core/report_stream.h"
#include "core/state.h"
#include "exec/temp_dir.h"
#include "exec/wrappers.h"
#include "phases/phases.h"
#include "platform/platform.h"
#include "platform/threads.h"
#include "samplers/wait.h"

namespace run {

namespace {

// How long the handler waits for the samplers it stopped (they kill their
// clients and return) and for the main thread's pause after them.
constexpr std::int64_t kSamplersStopMs = samplers::kStopGraceMs + 2000;

// How long the handler lets the main thread reach its next gate when the
// interrupt came outside the sampling wait.
constexpr std::int64_t kMainSettleMs = 2000;

void run_steps(bool poststats_owed) {
  core::RunState& st = core::state();
  exec::append_error_log("Kestrel caught signal; quitting...");
  core::progress("Caught signal; quitting...\n");
  core::progress("Killing background processes...\n");
  if (!poststats_owed) {
    // This run's clients only, never those of other runs: the registry is
    // closed first, so no thread starts another client; the main thread
    // then stops at its next gate, and the steps below may start their own.
    platform::kill_own_descendants();
    core::wait_for_main_to_hold(kMainSettleMs);
  } else {
    // During the sampling wait the samplers stop on the raised stop signal:
    // each kills its own client, and a cut profile or trace tells the
    // controller to stop it first. Once they and the main thread's wait
    // are done, whatever is left goes.
    core::wait_for_main_to_hold(kSamplersStopMs);
    platform::kill_own_descendants();
  }
  platform::reopen_child_registry_for_cleanup();
  if (poststats_owed) {
    // The samplers' files are complete now that they have returned.
    core::progress("Woke between prestats and poststats- attempting poststats\n");
    phases::Poststats();
    if (st.options.iterations > 1) {
      exec::echo_through_interpreter(core::format("=-=-=-=-=-= END Iteration %d =-=-=-=-=-= %s",
                                                  st.iteration, exec::gmt_timestamp().c_str()));
      exec::print_epoch_line();
    }
  }
  // What controllers collected side by side wrote so far, in their order.
  core::flush_active_report_stream();
  core::progress("Appending error log...\n");
  exec::print_error_log_section();
  exec::destroy_temp_dir();
  core::progress("Done!\n");
  // Anything started since the first kill.
  platform::kill_own_descendants();
}

}  // namespace

void install_interrupt_handler() {
  if (!platform::install_control_handler(console_ctrl_handler)) {
    std::fprintf(stderr, "WARNING: Unable to register the console control handler: %d\n",
                 platform::last_error());
  }
}

platform::ControlOutcome console_ctrl_handler(platform::ControlEvent event) {
  if (event != platform::ControlEvent::kInterrupt) {
    // As the console ends its other processes with it.
    platform::kill_own_descendants();
    return platform::ControlOutcome::kEndProcess;
  }
  core::set_passes_gates(true);
  switch (core::claim_interrupt()) {
    case core::InterruptClaim::kIgnore:
      return platform::ControlOutcome::kKeepRunning;
    case core::InterruptClaim::kEndAtOnce:
      platform::kill_own_descendants();
      break;
    case core::InterruptClaim::kEndRun:
      run_steps(false);
      break;
    case core::InterruptClaim::kEndRunWithPoststats:
      run_steps(true);
      break;
  }
  return platform::ControlOutcome::kEndProcess;
}

}  // namespace run
