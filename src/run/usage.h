// The version banner and the usage text.
#pragma once

namespace run {

extern const char* const kVersionNumber;  // "7.38"
extern const char* const kVersionDate;    // "10-2012"

// "Kestrel v7.38 (10-2012)\n" on standard error, unless -q.
void print_version_line();

// The usage text on standard output.
void print_usage();

}  // namespace run
