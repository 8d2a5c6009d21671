// Shared by the fuzzing harnesses: the fuzzer's bytes in the shapes the
// parsers take, a stream that swallows their output, and the checks of what
// may leave a parser.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace fuzz {

inline std::string text(const std::uint8_t* data, std::size_t size) {
  return std::string(reinterpret_cast<const char*>(data), size);
}

// The bytes split at '\n', as the lines of a reply without their line ends.
inline std::vector<std::string> lines(const std::uint8_t* data, std::size_t size) {
  std::vector<std::string> result;
  std::string all = text(data, size);
  std::size_t start = 0;
  while (start < all.size()) {
    std::size_t end = all.find('\n', start);
    if (end == std::string::npos) end = all.size();
    result.push_back(all.substr(start, end - start));
    start = end + 1;
  }
  return result;
}

// The bytes cut into `count` parts at the first count - 1 '\n'; the last
// part keeps the rest, line ends included. Missing parts are empty.
inline std::vector<std::string> parts(const std::uint8_t* data, std::size_t size,
                                      std::size_t count) {
  std::vector<std::string> result;
  std::string all = text(data, size);
  std::size_t start = 0;
  while (result.size() + 1 < count && start <= all.size()) {
    std::size_t end = all.find('\n', start);
    if (end == std::string::npos) break;
    result.push_back(all.substr(start, end - start));
    start = end + 1;
  }
  result.push_back(start <= all.size() ? all.substr(start) : "");
  result.resize(count);
  return result;
}

// Where the parsers' messages and report text go while fuzzing.
inline std::FILE* sink() {
  static std::FILE* null_stream = std::fopen("/dev/null", "w");
  if (null_stream == nullptr) std::abort();
  return null_stream;
}

// A broken promise is a crash the fuzzer keeps the input of.
inline void require(bool holds, const char* promise) {
  if (holds) return;
  std::fprintf(stderr, "broken promise: %s\n", promise);
  std::abort();
}

// True when `name` can stand bare in a command line or a file name: not
// empty, not dots only, printable ASCII without blanks, quotes, the
// interpreters' special characters or path separators ('/' allowed only
// with `path`).
inline bool fits_command_line(const std::string& name, bool path) {
  if (name.find_first_not_of('.') == std::string::npos) return false;
  const std::string special = " \"'`$%&|;<>()[]{}^!*?~#\\";
  for (char c : name) {
    unsigned char code = static_cast<unsigned char>(c);
    if (code <= 0x20 || code >= 0x7f) return false;
    if (special.find(c) != std::string::npos) return false;
    if (c == '/' && !path) return false;
  }
  return true;
}

}  // namespace fuzz
