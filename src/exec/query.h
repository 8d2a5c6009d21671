// Controller commands whose replies kestrel reads itself.
#pragma once

#include <string>
#include <vector>

#include "core/collection.h"

namespace exec {

// Runs a command line through the interpreter without framing, logging or
// exclusion, bounded by the command time-out: an unreachable or hung
// controller cannot stop the run. A killed command is noted in the error log.
// What it prints beyond its redirections is dropped. `reply_path`, when
// given, is the file it writes: kept within the cap of a controller's files.
// True when the command was killed on its time-out.
bool run_bounded(const std::string& line, const std::string& reply_path = "");

// Runs a command on the collection's controller with its standard output
// captured into the collection's reply file, and returns the reply's lines (without
// line ends). Waits at most the command time-out, then kills the client's
// tree; the lines written until then are returned. Nothing is run for a
// controller given up after Ctrl+C.
std::vector<std::string> capture_filer_query(const core::Collection& collection,
                                             const std::string& command);

// Lists a controller folder; the controller writes the listing on its
// standard error, which is captured instead.
std::vector<std::string> list_filer_directory(const core::Collection& collection,
                                              const std::string& folder);

}  // namespace exec
