#include "run/messages.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "exec/temp_dir.h"
#include "run/interrupt.h"
#include "run/state.h"

namespace run {

void progress(const std::string& text) {
  if (!state().options.quiet) std::fputs(text.c_str(), stderr);
}

void debug_line(const std::string& text) {
  if (state().options.debug) std::fprintf(stderr, "DEBUG: %s\n", text.c_str());
}

void debug_line(const std::string& text, const std::string& subject) {
  if (state().options.debug) std::fprintf(stderr, "DEBUG: %s: %s\n", text.c_str(), subject.c_str());
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

void exit_run(int status) {
  hold_if_interrupted();  // the interrupt handler ends the run itself
  if (state().temp_dir_made) exec::destroy_temp_dir();
  std::fflush(nullptr);
  std::exit(status);
}

}  // namespace run
