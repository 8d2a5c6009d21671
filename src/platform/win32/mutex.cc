// The unnamed mutex that serialises error-log appends across threads.
#include <windows.h>

#include "platform/platform.h"

namespace platform {

struct Mutex {
  HANDLE handle;
};

Mutex* create_mutex() {
  HANDLE handle = CreateMutexA(nullptr, FALSE, nullptr);
  if (handle == nullptr) return nullptr;
  return new Mutex{handle};
}

LockResult lock_mutex(Mutex* mutex, int timeout_ms) {
  if (mutex == nullptr) return LockResult::kFailed;
  DWORD wait = timeout_ms < 0 ? INFINITE : static_cast<DWORD>(timeout_ms);
  switch (WaitForSingleObject(mutex->handle, wait)) {
    case WAIT_OBJECT_0:
      return LockResult::kAcquired;
    case WAIT_TIMEOUT:
      return LockResult::kTimedOut;
    case WAIT_ABANDONED:
      return LockResult::kAbandoned;  // the caller now owns it
    default:
      return LockResult::kFailed;
  }
}

void unlock_mutex(Mutex* mutex) {
  if (mutex != nullptr) ReleaseMutex(mutex->handle);
}

void close_mutex(Mutex* mutex) {
  if (mutex == nullptr) return;
  CloseHandle(mutex->handle);
  delete mutex;
}

}  // namespace platform
