// Ctrl+C: an orderly end of the run that still yields a usable report. The
// console control handler runs on a thread of its own; the gates it shares
// with the main thread are in core/interrupt_gate.h.
#pragma once

#include "core/interrupt_gate.h"
#include "platform/interrupt.h"

namespace run {

// Registers console_ctrl_handler. Start-up, before any other thread exists.
void install_interrupt_handler();

// Ctrl+C: the error-log line, the messages, this run's clients killed, the
// owed poststats, the error-log section, the scratch folder removed, "Done!",
// then the process ends. Taken once: a later Ctrl+C is consumed. Other events
// run none of the steps: this run's clients are killed and the process ends.
platform::ControlOutcome console_ctrl_handler(platform::ControlEvent event);

}  // namespace run
