#include "core/report_stream.h"

#include <cerrno>
#include <chrono>
#include <cstring>

#include "core/messages.h"
#include "platform/platform.h"

namespace core {

namespace {

std::mutex& active_lock() {
  static std::mutex* lock = new std::mutex;
  return *lock;
}

ReportStream*& active_stream() {
  static ReportStream* stream = nullptr;
  return stream;
}

// How long a flush waits for the workers to stop at a gate or finish.
constexpr int kQuiesceMs = 10 * 1000;

// Appends the spool's text to standard output as it is and removes the
// spool. A spool cut short (its collection was stopped mid-line) gets a line
// end, so the next marker starts a line of its own. A spool that cannot be
// read loses report text: false, and the run must end as for a closed
// standard output.
bool copy_spool(const std::string& path, bool whole) {
  std::FILE* in = std::fopen(path.c_str(), "rb");
  if (in == nullptr) {
    error_line(format("FATAL: Cannot read \"%s\": %s", path.c_str(), std::strerror(errno)));
    return false;
  }
  char buffer[64 * 1024];
  size_t got;
  char last = '\n';
  bool written = true;
  while (written && (got = std::fread(buffer, 1, sizeof buffer, in)) > 0) {
    written = platform::write_bytes(stdout, buffer, got);
    last = buffer[got - 1];
  }
  const bool read_failed = std::ferror(in) != 0;
  std::fclose(in);
  std::remove(path.c_str());
  if (read_failed) {
    error_line(format("FATAL: Cannot read \"%s\"", path.c_str()));
    return false;
  }
  if (written && !whole && last != '\n') std::fputc('\n', stdout);
  return written;
}

}  // namespace

ReportStream::ReportStream(const std::vector<std::string>& spool_paths)
    : paths_(spool_paths), spools_(spool_paths.size(), nullptr), done_(spool_paths.size(), false) {
  for (size_t i = 0; i < paths_.size(); ++i) {
    spools_[i] = std::fopen(paths_[i].c_str(), "w");
    if (spools_[i] != nullptr) {
      std::fclose(spools_[i]);
      // Text mode, as standard output: kestrel's own lines end as they do
      // there, and copied command output is written as it is.
      spools_[i] = std::fopen(paths_[i].c_str(), "a");
    }
    if (spools_[i] == nullptr) {
      error_line(format("FATAL: Cannot write \"%s\": %s", paths_[i].c_str(), std::strerror(errno)));
      exit_run(1);
    }
    std::setvbuf(spools_[i], nullptr, _IONBF, 0);
  }
  std::lock_guard<std::mutex> hold(active_lock());
  active_stream() = this;
}

ReportStream::~ReportStream() {
  {
    std::lock_guard<std::mutex> hold(active_lock());
    if (active_stream() == this) active_stream() = nullptr;
  }
  for (std::FILE* spool : spools_) {
    if (spool != nullptr) std::fclose(spool);
  }
  for (const std::string& path : paths_) std::remove(path.c_str());
}

std::FILE* ReportStream::spool(size_t index) const {
  return spools_.at(index);
}

void ReportStream::finish(size_t index) {
  std::lock_guard<std::mutex> hold(lock_);
  done_.at(index) = true;
  changed_.notify_all();
}

ReportStream::Outcome ReportStream::copy_in_order() {
  std::unique_lock<std::mutex> hold(lock_);
  while (!closed_ && next_ < paths_.size()) {
    if (!done_[next_]) {
      changed_.wait(hold);
      continue;
    }
    if (next_ == failed_) {
      // The failed collection's text, then nothing more: the run ends here.
      closed_ = true;
      copy_spool(paths_[next_], true);
      ++next_;
      return Outcome::kFailed;
    }
    // Outside the lock, so finishing collections never wait for the copy.
    const size_t index = next_;
    copying_ = true;
    hold.unlock();
    const bool spool_failed = std::ferror(spools_[index]) != 0;
    const bool closed = std::fclose(spools_[index]) == 0;
    spools_[index] = nullptr;
    if (spool_failed || !closed) {
      error_line(format("FATAL: Cannot write \"%s\"", paths_[index].c_str()));
    }
    const bool copied = !spool_failed && closed && copy_spool(paths_[index], true);
    hold.lock();
    copying_ = false;
    ++next_;
    changed_.notify_all();
    hold.unlock();
    if (!copied) {
      error_line("FATAL: The report lost text of a controller; ending the run");
      exit_run(1);
    }
    end_if_report_closed();
    hold.lock();
  }
  return next_ == paths_.size() && !closed_ ? Outcome::kAllCopied : Outcome::kFlushed;
}

void ReportStream::fail(size_t index, int status) {
  std::lock_guard<std::mutex> hold(lock_);
  if (index < failed_) {
    failed_ = index;
    failed_status_ = status;
  }
  done_.at(index) = true;
  changed_.notify_all();
}

void ReportStream::worker_started() {
  std::lock_guard<std::mutex> hold(lock_);
  ++workers_;
}

void ReportStream::worker_parked() {
  std::lock_guard<std::mutex> hold(lock_);
  ++parked_;
  changed_.notify_all();
}

void ReportStream::flush_locked(std::unique_lock<std::mutex>& hold) {
  // Every worker stopped at a gate or done, so no line is being written
  // while the spools are copied (bounded: a worker stuck in a kill must not
  // hold the run's end for ever).
  changed_.wait_for(hold, std::chrono::milliseconds(kQuiesceMs),
                    [this] { return !copying_ && parked_ >= workers_; });
  changed_.wait(hold, [this] { return !copying_; });
  if (closed_) return;
  closed_ = true;
  for (; next_ < paths_.size(); ++next_) copy_spool(paths_[next_], done_[next_]);
  std::fflush(stdout);
  changed_.notify_all();
}

namespace {

thread_local ReportStream* worker_stream = nullptr;
thread_local size_t worker_index = 0;

}  // namespace

bool report_stream_active() {
  std::lock_guard<std::mutex> hold(active_lock());
  return active_stream() != nullptr;
}

void set_worker_collection(ReportStream* stream, size_t index) {
  worker_stream = stream;
  worker_index = index;
}

void note_worker_parked() {
  if (worker_stream == nullptr) return;
  ReportStream* stream = worker_stream;
  worker_stream = nullptr;  // counted once, whether it holds or returns
  stream->worker_parked();
}

std::FILE* worker_spool() {
  return worker_stream == nullptr ? nullptr : worker_stream->spool(worker_index);
}

bool fail_worker_collection(int status) {
  if (worker_stream == nullptr) return false;
  worker_stream->fail(worker_index, status);
  return true;
}

void flush_active_report_stream() {
  std::lock_guard<std::mutex> active(active_lock());
  ReportStream* stream = active_stream();
  if (stream == nullptr) return;
  std::unique_lock<std::mutex> hold(stream->lock_);
  stream->flush_locked(hold);
}

}  // namespace core
