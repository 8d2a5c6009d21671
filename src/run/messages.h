// Progress lines, diagnostics and the one exit routine of the run.
#pragma once

#include <string>

namespace run {

// Progress line on standard error, suppressed by -q. `text` is written as is.
void progress(const std::string& text);

// "DEBUG: %s\n", only with -d.
void debug_line(const std::string& text);

// "DEBUG: %s: %s\n", only with -d.
void debug_line(const std::string& text, const std::string& subject);

// printf-style formatting into a std::string.
std::string format(const char* pattern, ...) __attribute__((format(gnu_printf, 1, 2)));

// Ends the process with `status`. Removes the scratch folder first when it
// exists, so a failed run leaves no controller data behind.
[[noreturn]] void exit_run(int status);

}  // namespace run
