// Report text of collections that run side by side. Each collection writes
// into a spool file of its own (its commands' output included); the main
// thread copies the spools to standard output whole and in the collections'
// order, each as soon as it and every one before it are done.
#pragma once

#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

namespace core {

class ReportStream {
 public:
  // Makes one empty spool per path; ends the run when one cannot be made.
  explicit ReportStream(const std::vector<std::string>& spool_paths);
  ~ReportStream();
  ReportStream(const ReportStream&) = delete;
  ReportStream& operator=(const ReportStream&) = delete;

  // The spool that collection `index` writes into (unbuffered, appending).
  std::FILE* spool(size_t index) const;

  // Collection `index` is done; its text may reach the report.
  void finish(size_t index);

  // Collection `index` cannot go on and the run must end with `status`, as
  // it would have when the collections ran one after the other: once every
  // collection before it is copied, its own text is, and no later one.
  void fail(size_t index, int status);

  // A worker thread starts taking collections; it parks (note_worker_parked)
  // when it holds at a gate for good or has no collection left. A flush
  // waits, bounded, until every started worker has parked.
  void worker_started();
  void worker_parked();

  enum class Outcome { kAllCopied, kFlushed, kFailed };

  // Main thread: copies the spools in order as they are done, until every one
  // is copied, the stream was flushed by flush_active_report_stream (the run
  // is ending), or a failed collection was reached (`failed_status`).
  Outcome copy_in_order();
  int failed_status() const { return failed_status_; }

 private:
  friend void flush_active_report_stream();

  // Copies whatever is left, done or not, in order; the caller holds lock_.
  void flush_locked(std::unique_lock<std::mutex>& hold);

  std::vector<std::string> paths_;
  std::vector<std::FILE*> spools_;
  std::vector<bool> done_;
  std::mutex lock_;
  std::condition_variable changed_;
  size_t next_ = 0;                          // the first spool not copied yet
  bool copying_ = false;                     // the main thread copies spool next_ outside the lock
  bool closed_ = false;                      // flushed: nothing more reaches the report from here
  size_t failed_ = static_cast<size_t>(-1);  // the first collection that failed
  int failed_status_ = 0;
  int workers_ = 0;  // worker threads started
  int parked_ = 0;   // of those, held at a gate or done
};

// Copies what the active stream's collections wrote so far to standard
// output, in order, and closes the stream: the interrupt handler and the
// exit routine, so no text already collected is lost. Nothing without one.
void flush_active_report_stream();

// True while collections run side by side (a stream is active).
bool report_stream_active();

// On a side-by-side worker: the stream and the collection it works on, so a
// fatal error there is handled in the collections' order (exit_run).
void set_worker_collection(ReportStream* stream, size_t index);

// The calling worker holds at a gate for good, or has finished: its stream
// may be flushed without cutting a line it writes. Nothing on other threads.
void note_worker_parked();

// The spool the calling worker writes into, or nullptr on other threads.
std::FILE* worker_spool();

// Reports a fatal error of the calling worker's collection to its stream and
// returns true (the caller then waits for the main thread to end the run);
// false on any other thread.
bool fail_worker_collection(int status);

}  // namespace core
