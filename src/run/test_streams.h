// Test helper: what was written to a temporary stream.
#pragma once

#include <cstdio>
#include <string>

namespace run {

// Reads everything written to `file` and closes it.
inline std::string read_all(std::FILE* file) {
  std::fflush(file);
  std::rewind(file);
  std::string text;
  char buffer[4096];
  size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, got);
  std::fclose(file);
  return text;
}

}  // namespace run
