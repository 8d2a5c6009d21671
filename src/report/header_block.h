// The header block at the top of a report.
#pragma once

#include <cstddef>

#include "report/report.h"

namespace report {

// Reads the header block starting at line `first` (0-based) when that line
// is the version line. Returns the index of the first line after the
// block, or `first` when there is no header there.
std::size_t read_header(Report& report, std::size_t first);

}  // namespace report
