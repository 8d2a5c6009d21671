// Control events on Windows: one console control handler; the console runs
// it on a thread it creates for each event.
#include "platform/interrupt.h"

#include <windows.h>

#include "platform/platform.h"
#include "platform/win32/process_tree.h"

namespace platform {

namespace {

ControlHandler installed_handler = nullptr;

ControlEvent event_of(DWORD type) {
  switch (type) {
    case CTRL_C_EVENT:
      return ControlEvent::kInterrupt;
    case CTRL_BREAK_EVENT:
      return ControlEvent::kBreak;
    case CTRL_CLOSE_EVENT:
      return ControlEvent::kClose;
    default:
      return ControlEvent::kOther;
  }
}

// FALSE hands the event on to the default handling, which ends the process.
BOOL WINAPI console_routine(DWORD type) {
  return installed_handler(event_of(type)) == ControlOutcome::kEndProcess ? FALSE : TRUE;
}

}  // namespace

bool install_control_handler(ControlHandler handler) {
  installed_handler = handler;
  return SetConsoleCtrlHandler(console_routine, TRUE) != 0;
}

int kill_own_descendants() {
  close_child_registry();
  int killed = kill_registered_children();
  // Whatever left its job and is still in the process list below the run.
  killed += win32::terminate_descendants(GetCurrentProcessId(),
                                         win32::process_creation_time(GetCurrentProcess()));
  return killed;
}

}  // namespace platform
