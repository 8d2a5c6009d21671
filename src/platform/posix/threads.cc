// Worker threads on POSIX: pthreads with a small stack, an end flag that a
// join can wait on with a time-out, and an eventfd as the stop signal so that
// sleeps and child waits can poll on it.
#include "platform/threads.h"

#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <mutex>

#include "platform/posix/own_children.h"

namespace platform {

struct Thread {
  pthread_t handle{};
  ThreadRoutine routine = nullptr;
  void* argument = nullptr;
  std::mutex lock;
  std::condition_variable ended_signal;
  bool ended = false;
};

struct StopSignal {
  int fd = -1;
  std::atomic<bool> raised{false};
};

namespace {

void* trampoline(void* raw) {
  Thread* thread = static_cast<Thread*>(raw);
  thread->routine(thread->argument);
  std::lock_guard<std::mutex> hold(thread->lock);
  thread->ended = true;
  thread->ended_signal.notify_all();
  return nullptr;
}

// poll() that resumes after signals until `timeout_ms` has passed in all.
int poll_for(pollfd* fds, nfds_t count, int timeout_ms) {
  std::int64_t deadline = monotonic_ms() + timeout_ms;
  for (;;) {
    int ready = poll(fds, count, timeout_ms);
    if (ready >= 0 || errno != EINTR) return ready;
    timeout_ms = static_cast<int>(deadline - monotonic_ms());
    if (timeout_ms < 0) timeout_ms = 0;
  }
}

}  // namespace

Thread* start_thread(ThreadRoutine routine, void* argument) {
  Thread* thread = new Thread;
  thread->routine = routine;
  thread->argument = argument;
  pthread_attr_t attributes;
  pthread_attr_init(&attributes);
  pthread_attr_setstacksize(&attributes, kWorkerStackBytes);
  int rc = pthread_create(&thread->handle, &attributes, trampoline, thread);
  pthread_attr_destroy(&attributes);
  if (rc != 0) {
    delete thread;
    errno = rc;
    return nullptr;
  }
  return thread;
}

bool join_thread(Thread* thread, int timeout_ms) {
  std::unique_lock<std::mutex> hold(thread->lock);
  if (timeout_ms < 0) timeout_ms = 0;
  return thread->ended_signal.wait_for(hold, std::chrono::milliseconds(timeout_ms),
                                       [thread] { return thread->ended; });
}

ThreadStatus thread_status(Thread* thread) {
  std::lock_guard<std::mutex> hold(thread->lock);
  return thread->ended ? ThreadStatus::kEnded : ThreadStatus::kRunning;
}

void close_thread(Thread* thread) {
  if (thread == nullptr || thread_status(thread) != ThreadStatus::kEnded) return;
  pthread_join(thread->handle, nullptr);
  delete thread;
}

std::int64_t monotonic_ms() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

StopSignal* create_stop_signal() {
  StopSignal* signal = new StopSignal;
  signal->fd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  return signal;
}

void raise_stop(StopSignal* signal) {
  signal->raised = true;
  if (signal->fd >= 0) {
    std::uint64_t one = 1;
    ssize_t written = write(signal->fd, &one, sizeof one);
    (void)written;  // a full counter is still readable
  }
}

bool stop_raised(StopSignal* signal) {
  return signal->raised;
}

bool wait_for_stop(StopSignal* signal, int timeout_ms) {
  if (signal->raised) return true;
  if (signal->fd < 0) {
    // No eventfd: short sleeps that look at the flag.
    std::int64_t deadline = monotonic_ms() + timeout_ms;
    while (!signal->raised && monotonic_ms() < deadline) sleep_ms(20);
    return signal->raised;
  }
  pollfd waiter{signal->fd, POLLIN, 0};
  poll_for(&waiter, 1, timeout_ms < 0 ? 0 : timeout_ms);
  return signal->raised;
}

void close_stop_signal(StopSignal* signal) {
  if (signal == nullptr) return;
  if (signal->fd >= 0) close(signal->fd);
  delete signal;
}

ChildWait wait_child_or_stop(Child& child, int timeout_ms, StopSignal* signal) {
  if (timeout_ms < 0) timeout_ms = 0;
  if (signal->raised) {
    return wait_child(child, 0) == WaitResult::kExited ? ChildWait::kExited : ChildWait::kStopped;
  }
  // A copy of the registry's pidfd: readable once the child has ended (at
  // once if it already has), and never another process's. None once the
  // child is reaped.
  const int pidfd = posix::duplicate_pidfd(child.pid);
  if (pidfd >= 0 && signal->fd >= 0) {
    pollfd waiters[2] = {{pidfd, POLLIN, 0}, {signal->fd, POLLIN, 0}};
    int ready = poll_for(waiters, 2, timeout_ms);
    close(pidfd);
    if (ready < 0) return ChildWait::kFailed;
    if (waiters[0].revents != 0) {
      return wait_child(child, -1) == WaitResult::kExited ? ChildWait::kExited : ChildWait::kFailed;
    }
    return waiters[1].revents != 0 ? ChildWait::kStopped : ChildWait::kTimedOut;
  }
  if (pidfd >= 0) close(pidfd);
  // Without pidfd: look at the child between short waits on the signal.
  std::int64_t deadline = monotonic_ms() + timeout_ms;
  for (;;) {
    if (wait_child(child, 0) == WaitResult::kExited) return ChildWait::kExited;
    std::int64_t left = deadline - monotonic_ms();
    if (left <= 0) return ChildWait::kTimedOut;
    if (wait_for_stop(signal, left < 50 ? static_cast<int>(left) : 50)) return ChildWait::kStopped;
  }
}

}  // namespace platform
