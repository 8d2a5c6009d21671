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

// True when the collection's controller was given up in the poststats owed
// to Ctrl+C; its commands are then skipped.
bool given_up(const core::Collection& collection);

// After a command of the collection was killed on its time-out: during the
// poststats owed to Ctrl+C the controller is given up (said once in its
// section, on standard error and in the error log).
void give_up_if_interrupted(const core::Collection& collection);

// Kills a started child with all its descendants, reporting on `out` (the
// report text it belongs to) and in the error log. True when the child no
// longer runs.
bool kill_process_tree(platform::Child& child, std::FILE* out);

// Copies a command's captured output (the file at `path`) into `out`,
// screened (kestrel's own text, not `screened`, as it is). Ends the run when
// the text cannot reach the report.
void copy_output_into_report(const std::string& path, std::FILE* out, bool screened = true);

// The file a command of `collection` prints into while it runs.
std::string command_output_file(const core::Collection& collection);

// Ends the run when report text could not be written to `out` (`failed`),
// or standard output has failed: every lost byte of the report ends it
// with status 1.
void end_if_text_lost(std::FILE* out, bool failed);

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
