// A job run on a thread of its own while the caller goes on: wait() joins
// it and throws again what the job threw. Left without wait() (the caller
// threw), the destructor joins it.
#pragma once

#include <exception>
#include <functional>
#include <thread>
#include <utility>

namespace report {

class Background {
 public:
  explicit Background(std::function<void()> job)
      : thread_([this, job = std::move(job)] {
          try {
            job();
          } catch (...) {
            failure_ = std::current_exception();
          }
        }) {}
  Background(const Background&) = delete;
  Background& operator=(const Background&) = delete;
  ~Background() {
    if (thread_.joinable()) thread_.join();
  }

  void wait() {
    thread_.join();
    if (failure_) std::rethrow_exception(failure_);
  }

 private:
  std::exception_ptr failure_;  // before the thread, which may set it
  std::thread thread_;
};

}  // namespace report
