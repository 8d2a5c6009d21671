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

  // Main thread: copies the spools in order as they are done. Returns true
  // when every one is copied, false when the stream was flushed by
  // flush_active_report_stream instead (the run is ending).
  bool copy_in_order();

 private:
  friend void flush_active_report_stream();

  // Copies whatever is left, done or not, in order; the caller holds lock_.
  void flush_locked(std::unique_lock<std::mutex>& hold);

  std::vector<std::string> paths_;
  std::vector<std::FILE*> spools_;
  std::vector<bool> done_;
  std::mutex lock_;
  std::condition_variable changed_;
  size_t next_ = 0;       // the first spool not copied yet
  bool copying_ = false;  // the main thread copies spool next_ outside the lock
  bool closed_ = false;   // flushed: nothing more reaches the report from here
};

// Copies what the active stream's collections wrote so far to standard
// output, in order, and closes the stream: the interrupt handler and the
// exit routine, so no text already collected is lost. Nothing without one.
void flush_active_report_stream();

}  // namespace core
