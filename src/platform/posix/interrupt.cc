// Control events on POSIX: SIGINT, SIGTERM and SIGHUP are blocked in every
// thread and taken by one thread that waits for them with sigwait, so the
// run's handler runs as ordinary code, free to print, lock and start
// children.
#include "platform/interrupt.h"

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/platform.h"
#include "platform/posix/process_tree.h"

namespace platform {

namespace {

struct SignalEvent {
  int signal_number;
  ControlEvent event;
};

constexpr SignalEvent kControlSignals[] = {
    {SIGINT, ControlEvent::kInterrupt},
    {SIGTERM, ControlEvent::kBreak},
    {SIGHUP, ControlEvent::kClose},
};

ControlHandler installed_handler = nullptr;
sigset_t taken_signals;  // written once, before the waiting thread starts

bool inherited_as_ignored(int signal_number) {
  struct sigaction current {};
  return sigaction(signal_number, nullptr, &current) == 0 && current.sa_handler == SIG_IGN;
}

// Ends the process as the signal's default action does.
// Standard output and error are unbuffered: nothing to flush, and a flush
// would wait for a report write stalled on a full pipe.
[[noreturn]] void end_as_signalled(int signal_number) {
  struct sigaction fallback {};
  fallback.sa_handler = SIG_DFL;
  sigemptyset(&fallback.sa_mask);
  sigaction(signal_number, &fallback, nullptr);
  sigset_t only;
  sigemptyset(&only);
  sigaddset(&only, signal_number);
  pthread_sigmask(SIG_UNBLOCK, &only, nullptr);
  raise(signal_number);
  _exit(128 + signal_number);
}

void* interrupt_thread(void*) {
  if (installed_handler(ControlEvent::kInterrupt) == ControlOutcome::kEndProcess) {
    end_as_signalled(SIGINT);
  }
  return nullptr;
}

bool start_detached(void* (*routine)(void*)) {
  pthread_attr_t attributes;
  pthread_attr_init(&attributes);
  pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
  pthread_t thread;
  int rc = pthread_create(&thread, &attributes, routine, nullptr);
  pthread_attr_destroy(&attributes);
  if (rc != 0) errno = rc;
  return rc == 0;
}

void* signal_waiting_thread(void*) {
  for (;;) {
    int number = 0;
    if (sigwait(&taken_signals, &number) != 0) continue;
    if (number == SIGINT) {
      // The interrupt's steps run elsewhere, so a SIGTERM still ends the
      // process while they work; without a thread they run here.
      if (!start_detached(interrupt_thread)) interrupt_thread(nullptr);
      continue;
    }
    for (const SignalEvent& entry : kControlSignals) {
      if (entry.signal_number != number) continue;
      if (installed_handler(entry.event) == ControlOutcome::kEndProcess) end_as_signalled(number);
    }
  }
  return nullptr;
}

}  // namespace

bool install_control_handler(ControlHandler handler) {
  installed_handler = handler;
  sigemptyset(&taken_signals);
  for (const SignalEvent& entry : kControlSignals) {
    // Started with the signal ignored (nohup, a background job): keep it so.
    if (!inherited_as_ignored(entry.signal_number)) sigaddset(&taken_signals, entry.signal_number);
  }
  int rc = pthread_sigmask(SIG_BLOCK, &taken_signals, nullptr);
  if (rc != 0) {
    errno = rc;
    return false;
  }
  if (!start_detached(signal_waiting_thread)) {
    const int error = errno;
    pthread_sigmask(SIG_UNBLOCK, &taken_signals, nullptr);
    errno = error;
    return false;
  }
  return true;
}

int kill_own_descendants() {
  close_child_registry();
  int killed = kill_registered_children();
  // What escaped its shell: daemons re-parented to the run.
  killed += static_cast<int>(posix::kill_tree(static_cast<long>(getpid()), 0, false).size());
  return killed;
}

}  // namespace platform
