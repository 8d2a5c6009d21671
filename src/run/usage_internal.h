// The usage and version texts written to a given stream, so that tests can
// read them back.
#pragma once

#include <cstdio>
#include <string>

namespace run {

// The whole usage text, every line ending in "\n".
const std::string& usage_text();

// Writes the usage text to `out`.
void write_usage(std::FILE* out);

// Writes the version banner to `err`, unless -q is in force.
void write_version_line(std::FILE* err);

}  // namespace run
