// The one place where a foreground command is started, waited for with the
// run-wide time-out and, when it overruns, killed with its whole tree.
#pragma once

#include <string>

#include "core/collection.h"
#include "platform/platform.h"

namespace exec {

// Runs one command line of `collection` to completion or time-out; its
// output goes where the collection's report text goes. The text reaches the
// operating system unchanged; callers wrap it for the interpreter themselves.
void run_command(const core::Collection& collection, const std::string& command_line);

// Kills a started child with all its descendants, reporting on `out` (the
// report text it belongs to) and in the error log. True when the child no
// longer runs.
bool kill_process_tree(platform::Child& child, std::FILE* out);

// Where a child's standard output is sent: nullptr (inherited) for the
// run's own standard output, so children of a lone collection start exactly
// as any other; otherwise the collection's spool.
std::FILE* child_output(std::FILE* out);

// A copy of `text` with every occurrence of every password the command line
// held (and of the controller password) replaced by as many asterisks.
std::string mask_password(const std::string& text);

// The first -E pattern that `command_line` contains, or nullptr.
const std::string* matching_exclusion(const std::string& command_line);

}  // namespace exec
