// Controller release strings and the numbers that select command sets.
#pragma once

#include <cstdio>
#include <string>

#include "core/collection.h"
#include "core/state.h"

namespace controller {

// major * 100 + minor * 10 + patch of a "version" reply (forced = false,
// the number follows "Release") or of a release string such as "MERIX7.3.5"
// (forced = true, the number follows "MERIX"). Development code words win
// over numbers. 0 when unknown, after telling the user unless -q.
int parse_release(const std::string& text, bool forced);

// The known release at or below `release_number`, or "MERIX" below the
// oldest one.
std::string ladder_release(int release_number);

// Sets the controller's release and the switches that follow from it. With
// -O the forced text is the release; otherwise `version_line`, the first
// line of the controller's "version" reply, is mapped and the FILEROS line
// printed.
void apply_release(core::FilerTarget& filer, const std::string& version_line,
                   std::FILE* out = stdout);

// Asks the collection's controller for its version (unless -O) and applies it.
void map_release(const core::Collection& collection);

}  // namespace controller
