// The gates of Ctrl+C. Once an interrupt is taken, every thread but the
// handler's stops at its next gate for good, so only the handler writes the
// end of the report. The handler and the main thread agree through one lock on
// who runs the iteration's owed poststats.
#pragma once

#include <cstdint>

namespace core {

// From here on Ctrl+C runs the handler's steps: the options are read and the
// scratch folder and error log exist. Before, it only ends the process.
void arm_interrupt_steps();

// What the handler does with a Ctrl+C, decided under the lock.
enum class InterruptClaim {
  kIgnore,               // taken already, or the run is closing its report
  kEndAtOnce,            // before the steps are armed
  kEndRun,               // the steps, without poststats
  kEndRunWithPoststats,  // the interrupt came during the sampling wait
};

// Takes the interrupt: raises the iteration's stop signal (the samplers
// stop), wakes the main thread's sleeps and takes an owed poststats from it.
InterruptClaim claim_interrupt();

bool interrupt_taken();

// True on a thread that passes the gates: the handler's, and the workers it
// starts. A worker inherits this from the thread that starts it.
bool passes_gates();
void set_passes_gates(bool passes);

// Each gate returns only while no interrupt is taken; after one, the calling
// thread stays there for good (unless it passes the gates).
void hold_if_interrupted();

// Before prestats: the iteration's stop signal, which the samplers watch and
// the handler may raise.
void open_iteration_stop();

// When the samplers are done: releases the stop signal (closed when
// `close_it`, else left to the workers still holding it).
void close_iteration_stop(bool close_it);

// Sets in_sampling_wait: a poststats is owed from here on.
void enter_sampling_wait();

// Takes the owed poststats for the main thread, unless the handler took it.
void leave_sampling_wait();

// Sleeps up to `milliseconds`; returns true early when an interrupt is taken.
bool sleep_unless_interrupted(std::int64_t milliseconds);

// From here on Ctrl+C is consumed: the report is being closed anyway.
void begin_shutdown();

// The handler's side: waits up to `timeout_ms` for the main thread (or a
// worker of a phase) to stop at a gate. True when one has.
bool wait_for_main_to_hold(std::int64_t timeout_ms);

// The run is ending (a fatal error): from here on every other thread stops
// at its next gate, the calling thread passes, and Ctrl+C is consumed.
void close_gates();

// Forgets every interrupt (tests). Threads held at a gate stay held.
void reset_interrupt();

}  // namespace core
