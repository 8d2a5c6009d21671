#include "core/messages.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "core/interrupt_gate.h"
#include "core/report_stream.h"
#include "core/state.h"
#include "platform/interrupt.h"
#include "platform/platform.h"

namespace core {

namespace {

void (*scratch_cleanup)() = nullptr;

// One write per line, so lines of threads that run side by side stay whole.
void write_whole(const std::string& text) {
  static std::mutex* lock = new std::mutex;
  std::lock_guard<std::mutex> hold(*lock);
  std::fwrite(text.data(), 1, text.size(), stderr);
}

}  // namespace

void progress(const std::string& text) {
  if (!state().options.quiet) write_whole(text);
}

void debug_line(const std::string& text) {
  if (state().options.debug) write_whole("DEBUG: " + text + "\n");
}

void debug_line(const std::string& text, const std::string& subject) {
  if (state().options.debug) write_whole("DEBUG: " + text + ": " + subject + "\n");
}

void error_line(const std::string& text) {
  write_whole(text + "\n");
}

std::string format(const char* pattern, ...) {
  va_list args;
  va_start(args, pattern);
  va_list copy;
  va_copy(copy, args);
  int length = std::vsnprintf(nullptr, 0, pattern, copy);
  va_end(copy);
  std::string text(length > 0 ? static_cast<size_t>(length) : 0, '\0');
  if (length > 0) std::vsnprintf(text.data(), text.size() + 1, pattern, args);
  va_end(args);
  return text;
}

void end_if_report_closed() {
  if (!std::ferror(stdout)) return;
  std::fputs("FATAL: The report can no longer be written to standard output; ending the run\n",
             stderr);
  exit_run(1);
}

void set_scratch_cleanup(void (*cleanup)()) {
  scratch_cleanup = cleanup;
}

void exit_run(int status) {
  hold_if_interrupted();  // the interrupt handler ends the run itself
  // A collection running side by side with others: the main thread ends the
  // run once the collections before this one are in the report.
  if (fail_worker_collection(status)) {
    for (;;) {
      hold_if_interrupted();
      platform::sleep_ms(60 * 1000);
    }
  }
  // One thread ends the run; another that gets here meanwhile waits for it.
  static std::mutex* ending = new std::mutex;
  ending->lock();
  if (report_stream_active()) {
    // Workers stop at their next gate and their clients end, before the
    // scratch folder goes; what they wrote so far is not lost.
    close_gates();
    platform::kill_own_descendants();
    platform::reopen_child_registry_for_cleanup();  // the scratch folder's removal
    flush_active_report_stream();
  }
  if (state().temp_dir_made && scratch_cleanup != nullptr) scratch_cleanup();
  std::fflush(nullptr);
  std::exit(status);
}

}  // namespace core
