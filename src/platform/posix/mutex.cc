// The error log's mutex on POSIX: a robust pthread mutex, so a thread that
// ends while holding it shows up as abandonment, as on Windows.
#include <pthread.h>

#include <cerrno>
#include <ctime>

#include "platform/platform.h"

namespace platform {

struct Mutex {
  pthread_mutex_t handle;
};

Mutex* create_mutex() {
  Mutex* mutex = new Mutex;
  pthread_mutexattr_t attributes;
  pthread_mutexattr_init(&attributes);
  pthread_mutexattr_setrobust(&attributes, PTHREAD_MUTEX_ROBUST);
  int rc = pthread_mutex_init(&mutex->handle, &attributes);
  pthread_mutexattr_destroy(&attributes);
  if (rc != 0) {
    delete mutex;
    errno = rc;
    return nullptr;
  }
  return mutex;
}

LockResult lock_mutex(Mutex* mutex, int timeout_ms) {
  if (mutex == nullptr) return LockResult::kFailed;
  timespec deadline{};
  clock_gettime(CLOCK_REALTIME, &deadline);
  deadline.tv_sec += timeout_ms / 1000;
  deadline.tv_nsec += (timeout_ms % 1000) * 1000000L;
  if (deadline.tv_nsec >= 1000000000L) {
    deadline.tv_sec += 1;
    deadline.tv_nsec -= 1000000000L;
  }
  int rc = pthread_mutex_timedlock(&mutex->handle, &deadline);
  if (rc == 0) return LockResult::kAcquired;
  if (rc == ETIMEDOUT) return LockResult::kTimedOut;
  if (rc == EOWNERDEAD) {
    // We own it now; make it usable again for the next writer.
    pthread_mutex_consistent(&mutex->handle);
    return LockResult::kAbandoned;
  }
  errno = rc;
  return LockResult::kFailed;
}

void unlock_mutex(Mutex* mutex) {
  if (mutex != nullptr) pthread_mutex_unlock(&mutex->handle);
}

void close_mutex(Mutex* mutex) {
  if (mutex == nullptr) return;
  pthread_mutex_destroy(&mutex->handle);
  delete mutex;
}

}  // namespace platform
