// Progress lines, diagnostics and the one exit routine of the run.
#pragma once

#include <string>

namespace core {

// Every text these functions put on standard error passes through
// printable_text first: replies and names from controllers may hold terminal
// escapes.

// `text` with every control character but the line end, and every byte
// outside ASCII, shown as '?', so that a terminal shows it and obeys none of it.
std::string printable_text(const std::string& text);

// Progress line on standard error, suppressed by -q.
void progress(const std::string& text);

// "DEBUG: %s\n", only with -d.
void debug_line(const std::string& text);

// "DEBUG: %s: %s\n", only with -d.
void debug_line(const std::string& text, const std::string& subject);

#if defined(__MINGW32__)
#define KESTREL_PRINTF_FORMAT gnu_printf  // the C99 printf of __USE_MINGW_ANSI_STDIO
#else
#define KESTREL_PRINTF_FORMAT printf
#endif

// One line on standard error in a single write (a line end is added).
void error_line(const std::string& text);

// printf-style formatting into a std::string.
std::string format(const char* pattern, ...) __attribute__((format(KESTREL_PRINTF_FORMAT, 1, 2)));

// Ends the run (status 1, scratch folder removed) once writing the report to
// standard output has failed, as when the reader of a pipe went away.
void end_if_report_closed();

// What exit_run calls to remove the scratch folder; set once it exists.
void set_scratch_cleanup(void (*cleanup)());

// Ends the run on a fatal error or a report that can no longer be written:
// closes the gates (other threads stop at their next one), stops the
// samplers, kills every client through the registry of children (none can
// start after), copies what side-by-side collections wrote so far, removes
// the scratch folder so a failed run leaves no controller data behind, and
// ends the process with `status` without destroying what running threads
// may still use.
[[noreturn]] void exit_run(int status);

}  // namespace core
