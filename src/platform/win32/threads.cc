// Worker threads on Windows: _beginthreadex with a small reserved stack (so
// the C runtime is set up for each thread), a manual-reset event as the stop
// signal, and waits on several handles at once for child-or-stop.
#include "platform/threads.h"

#include <process.h>
#include <windows.h>

namespace platform {

struct Thread {
  HANDLE handle = nullptr;
  ThreadRoutine routine = nullptr;
  void* argument = nullptr;
};

struct StopSignal {
  HANDLE event = nullptr;
};

namespace {

unsigned __stdcall trampoline(void* raw) {
  Thread* thread = static_cast<Thread*>(raw);
  thread->routine(thread->argument);
  return 0;
}

DWORD as_wait(int timeout_ms) {
  return timeout_ms < 0 ? 0 : static_cast<DWORD>(timeout_ms);
}

}  // namespace

Thread* start_thread(ThreadRoutine routine, void* argument) {
  Thread* thread = new Thread;
  thread->routine = routine;
  thread->argument = argument;
  uintptr_t handle = _beginthreadex(nullptr, kWorkerStackBytes, trampoline, thread,
                                    STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
  if (handle == 0) {
    DWORD error = GetLastError();
    delete thread;
    SetLastError(error);
    return nullptr;
  }
  thread->handle = reinterpret_cast<HANDLE>(handle);
  return thread;
}

bool join_thread(Thread* thread, int timeout_ms) {
  return WaitForSingleObject(thread->handle, as_wait(timeout_ms)) == WAIT_OBJECT_0;
}

ThreadStatus thread_status(Thread* thread) {
  DWORD code = 0;
  if (!GetExitCodeThread(thread->handle, &code)) return ThreadStatus::kUnknown;
  if (code != STILL_ACTIVE) return ThreadStatus::kEnded;
  // A routine could return 259 itself; the handle tells for sure.
  return join_thread(thread, 0) ? ThreadStatus::kEnded : ThreadStatus::kRunning;
}

void close_thread(Thread* thread) {
  if (thread == nullptr || !join_thread(thread, 0)) return;
  CloseHandle(thread->handle);
  delete thread;
}

std::int64_t monotonic_ms() {
  return static_cast<std::int64_t>(GetTickCount64());
}

StopSignal* create_stop_signal() {
  StopSignal* signal = new StopSignal;
  signal->event = CreateEventA(nullptr, TRUE, FALSE, nullptr);  // not inherited by children
  return signal;
}

void raise_stop(StopSignal* signal) {
  if (signal->event != nullptr) SetEvent(signal->event);
}

bool stop_raised(StopSignal* signal) {
  return signal->event != nullptr && WaitForSingleObject(signal->event, 0) == WAIT_OBJECT_0;
}

bool wait_for_stop(StopSignal* signal, int timeout_ms) {
  if (signal->event == nullptr) {
    Sleep(as_wait(timeout_ms));
    return false;
  }
  return WaitForSingleObject(signal->event, as_wait(timeout_ms)) == WAIT_OBJECT_0;
}

void close_stop_signal(StopSignal* signal) {
  if (signal == nullptr) return;
  if (signal->event != nullptr) CloseHandle(signal->event);
  delete signal;
}

ChildWait wait_child_or_stop(Child& child, int timeout_ms, StopSignal* signal) {
  // The child's own handle stays open until close_child, so its id cannot be
  // reused meanwhile: a second handle opened by id names the same process.
  HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(child.pid));
  if (process == nullptr || signal->event == nullptr) {
    if (process != nullptr) CloseHandle(process);
    switch (wait_child(child, timeout_ms)) {
      case WaitResult::kExited:
        return ChildWait::kExited;
      case WaitResult::kTimedOut:
        return ChildWait::kTimedOut;
      default:
        return ChildWait::kFailed;
    }
  }
  HANDLE handles[2] = {process, signal->event};
  DWORD result = WaitForMultipleObjects(2, handles, FALSE, as_wait(timeout_ms));
  CloseHandle(process);
  switch (result) {
    case WAIT_OBJECT_0:
      return ChildWait::kExited;
    case WAIT_OBJECT_0 + 1:
      return ChildWait::kStopped;
    case WAIT_TIMEOUT:
      return ChildWait::kTimedOut;
    default:
      return ChildWait::kFailed;
  }
}

}  // namespace platform
