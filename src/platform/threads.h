// Worker threads, their stop signal and waits with deadlines. The samplers
// start every thread here, so their number, stack size and waiting are in one
// place. Threads are never killed from outside: a worker sleeps and waits on
// its child through the stop signal, and returns when it is raised.
#pragma once

#include <cstdint>

#include "platform/platform.h"

namespace platform {

// Stack reserved for each worker; the samplers keep their frames small.
constexpr int kWorkerStackBytes = 256 * 1024;

struct Thread;
using ThreadRoutine = void (*)(void* argument);

// Starts routine(argument) on a new thread. Returns nullptr and sets
// last_error() when the thread cannot be created.
Thread* start_thread(ThreadRoutine routine, void* argument);

// Waits at most `timeout_ms` (0: only looks) for the thread to end. True
// when it has ended.
bool join_thread(Thread* thread, int timeout_ms);

enum class ThreadStatus { kRunning, kEnded, kUnknown };
ThreadStatus thread_status(Thread* thread);

// Releases an ended thread. A thread that still runs is left to run: its
// record is kept, so it is never freed under it.
void close_thread(Thread* thread);

// Milliseconds of a clock that only moves forward; for deadlines.
std::int64_t monotonic_ms();

// ---------------------------------------------------------------- stop signal

// Raised once, seen by every thread that waits on it; never lowered.
struct StopSignal;

StopSignal* create_stop_signal();
void raise_stop(StopSignal* signal);
bool stop_raised(StopSignal* signal);

// Sleeps up to `timeout_ms`; returns true as soon as the signal is raised
// (at once when it already was), false when the time passed.
bool wait_for_stop(StopSignal* signal, int timeout_ms);

void close_stop_signal(StopSignal* signal);

enum class ChildWait { kExited, kTimedOut, kStopped, kFailed };

// Waits at most `timeout_ms` for the child to end, or for the signal. An
// ended child is reaped, as by wait_child.
ChildWait wait_child_or_stop(Child& child, int timeout_ms, StopSignal* signal);

}  // namespace platform
