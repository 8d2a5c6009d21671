// The report's marker-line grammar and the two wrappers that frame every
// foreground command of the collection phases.
#pragma once

#include <cstdio>
#include <string>

#include "core/collection.h"

namespace exec {

// Current time in UTC as "%a %b %d %X GMT %Y".
std::string gmt_timestamp();

// "KESTREL_EPOCH: %d\n" with the current time.
void print_epoch_line(std::FILE* out = stdout);

// Replaces every occurrence of `search` in `text` by `replacement`. Each
// pass continues behind the text it inserted, so it always ends.
void replace_all(std::string& text, const std::string& search, const std::string& replacement);

// The name shown in a marker line: the bare file name for a command that
// prints a file of the scratch folder, otherwise the command itself.
std::string friendly_name(const std::string& command);

// "=-=-=-=-=-= <section> =-=-=-=-=-= <friendly name>\n".
void print_command_marker(const core::Collection& collection, const std::string& command);

// Where the collection's commands write their standard error: its own file,
// or the error log itself.
const std::string& stderr_file(const core::Collection& collection);

// `line` with its standard error appended there, so no controller text
// reaches the terminal unscreened.
std::string with_errors_logged(const core::Collection& collection, const std::string& line);

// Moves what the collection's last command wrote on standard error into the
// error log (nothing when it writes there directly).
void log_command_errors(const core::Collection& collection);

// Runs a host command inside a framed section of `collection`.
void run_host_command(const core::Collection& collection, const std::string& command);

// Runs a command on the collection's controller inside a framed section.
void run_filer_command(const core::Collection& collection, const std::string& command);

// Prints a line through the interpreter (the iteration markers, pretend
// echoes), flushing first.
void echo_through_interpreter(const std::string& text, std::FILE* out = stdout);

// The same through the scratch files of `collection`.
void echo_through_interpreter(const core::Collection& collection, const std::string& text,
                              std::FILE* out);

// Appends "Begin: <timestamp>" to a sampler's file.
void append_begin_line(const std::string& path);

// Adds a file to the collection's part of this iteration's list of files
// that poststats prints.
void register_temp_file(const core::Collection& collection, const std::string& path);

// Prints every file registered for the collection's target.
void dump_temp_files(const core::Collection& collection);

}  // namespace exec
