// The run header written to a given stream, so that tests can read it back.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace run {

// Writes the header block for the arguments after the program name.
// `os_name` is the host's operating system name; empty when unknown.
void write_run_header(std::FILE* out, const std::vector<std::string>& args,
                      const std::string& os_name);

}  // namespace run
