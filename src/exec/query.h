// Controller commands whose replies kestrel reads itself.
#pragma once

#include <string>
#include <vector>

#include "core/collection.h"

namespace exec {

// Runs a command line through the interpreter without framing, logging or
// exclusion, bounded by the command time-out: an unreachable or hung
// controller cannot stop the run. A killed command is noted in the error log.
void run_bounded(const std::string& line);

// Runs a command on the collection's controller with its standard output
// captured into the collection's reply file, and returns the reply's lines (without
// line ends). Waits at most the command time-out, then kills the client's
// tree; the lines written until then are returned.
std::vector<std::string> capture_filer_query(const core::Collection& collection,
                                             const std::string& command);

// Lists a controller folder; the controller writes the listing on its
// standard error, which is captured instead.
std::vector<std::string> list_filer_directory(const core::Collection& collection,
                                              const std::string& folder);

}  // namespace exec
