// Console control events (Ctrl+C and its kin) and the end of the process they
// ask for. Windows: a console control handler. POSIX: SIGINT, SIGTERM and
// SIGHUP, taken by a thread that waits for them, never inside a signal
// handler.
#pragma once

namespace platform {

enum class ControlEvent {
  kInterrupt,  // Ctrl+C; SIGINT
  kBreak,      // Ctrl+Break; SIGTERM
  kClose,      // the console closes; SIGHUP
  kOther,
};

enum class ControlOutcome {
  kEndProcess,   // the default handling follows: the process ends as interrupted
  kKeepRunning,  // the event is consumed
};

using ControlHandler = ControlOutcome (*)(ControlEvent event);

// Registers `handler` for every console control event; it runs on a thread
// other than the main thread. On POSIX the signals are blocked in the calling
// thread, so this must be called on the main thread before any other thread
// starts (threads inherit the mask; children get a clean one), and a signal
// that the process inherited as ignored stays ignored. After kEndProcess the
// process ends through the signal's default action (SIGINT: status 130 seen
// from the shell). An interrupt's handler runs on a thread of its own, so a
// later signal is still taken while it works. Returns false, with
// last_error() set, when the handler cannot be registered.
bool install_control_handler(ControlHandler handler);

// Ends every process that descends from the running one, not the process
// itself: closes the registry of live children (no start after this;
// platform.h), kills every registered child with its tree, then the
// descendants that escaped their child (on POSIX, daemons re-parented to the
// run, a subreaper; on Windows, those left in the process list). Returns how
// many were sent the kill.
int kill_own_descendants();

}  // namespace platform
