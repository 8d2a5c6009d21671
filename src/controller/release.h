// Controller release strings and the numbers that select command sets.
#pragma once

#include <string>

namespace controller {

// major * 100 + minor * 10 + patch of a "version" reply (forced = false,
// the number follows "Release") or of a release string such as "MERIX7.3.5"
// (forced = true, the number follows "MERIX"). Development code words win
// over numbers. 0 when unknown, after telling the user unless -q.
int parse_release(const std::string& text, bool forced);

}  // namespace controller
