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
#include "platform/threads.h"

namespace core {

namespace {

void (*scratch_cleanup)() = nullptr;

// One write per line, so lines of threads that run side by side stay whole.
// The one way text of these functions reaches standard error: screened.
void write_whole(const std::string& text) {
  const std::string shown = printable_text(text);
  static std::mutex* lock = new std::mutex;
  std::lock_guard<std::mutex> hold(*lock);
  std::fwrite(shown.data(), 1, shown.size(), stderr);
}

}  // namespace

std::string printable_text(const std::string& text) {
  std::string shown = text;
  for (char& c : shown) {
    const unsigned char code = static_cast<unsigned char>(c);
    if ((code < 0x20 && c != '\n') || code >= 0x7f) c = '?';
  }
  return shown;
}

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
  // A worker's report text goes to its spool first: a full disk there loses
  // text as surely as a closed standard output.
  std::FILE* spool = worker_spool();
  if (spool != nullptr && std::ferror(spool)) {
    error_line(
        "FATAL: The report text of a controller cannot be written to its spool file; "
        "ending the run");
    exit_run(1);
  }
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
    note_worker_parked();
    for (;;) {
      hold_if_interrupted();
      platform::sleep_ms(60 * 1000);
    }
  }
  // Every other thread stops at its next gate, and Ctrl+C is consumed. Done
  // before the ending lock: when an interrupt was taken already, this thread
  // stays at the gate, and the handler that ends the run may still come here.
  close_gates();
  // One thread ends the run; another that gets here meanwhile waits for it.
  static std::mutex* ending = new std::mutex;
  ending->lock();
  // The samplers stop; the registry of children closes, so no thread starts
  // a client any more, and every client of the run ends.
  platform::StopSignal* stop = state().background_threads.stop;
  if (stop != nullptr) platform::raise_stop(stop);
  platform::kill_own_descendants();
  // What side-by-side workers wrote so far, once each is at a gate (bounded).
  flush_active_report_stream();
  // Removed without starting a process, so no client can start meanwhile.
  if (state().temp_dir_made && scratch_cleanup != nullptr) scratch_cleanup();
  // Nothing process-wide is destroyed while another thread may still run.
  std::_Exit(status);
}

}  // namespace core
