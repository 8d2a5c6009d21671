#include "core/report_stream.h"

#include <cerrno>
#include <cstring>

#include "core/messages.h"

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

// Appends the spool's text to standard output and removes the spool.
void copy_spool(const std::string& path) {
  std::FILE* in = std::fopen(path.c_str(), "rb");
  if (in == nullptr) return;
  char buffer[64 * 1024];
  size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, in)) > 0) {
    if (std::fwrite(buffer, 1, got, stdout) != got) break;
  }
  std::fclose(in);
  std::remove(path.c_str());
}

}  // namespace

ReportStream::ReportStream(const std::vector<std::string>& spool_paths)
    : paths_(spool_paths), spools_(spool_paths.size(), nullptr), done_(spool_paths.size(), false) {
  for (size_t i = 0; i < paths_.size(); ++i) {
    spools_[i] = std::fopen(paths_[i].c_str(), "wb");
    if (spools_[i] != nullptr) {
      std::fclose(spools_[i]);
      spools_[i] = std::fopen(paths_[i].c_str(), "ab");
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
      copy_spool(paths_[next_]);
      ++next_;
      return Outcome::kFailed;
    }
    // Outside the lock, so finishing collections never wait for the copy.
    const size_t index = next_;
    copying_ = true;
    hold.unlock();
    std::fclose(spools_[index]);
    spools_[index] = nullptr;
    copy_spool(paths_[index]);
    hold.lock();
    copying_ = false;
    ++next_;
    changed_.notify_all();
    hold.unlock();
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

void ReportStream::flush_locked(std::unique_lock<std::mutex>& hold) {
  changed_.wait(hold, [this] { return !copying_; });
  if (closed_) return;
  closed_ = true;
  for (; next_ < paths_.size(); ++next_) copy_spool(paths_[next_]);
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
