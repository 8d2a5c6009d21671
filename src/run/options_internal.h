// The command-line parser behind parse_options and check_option_conflicts,
// without the process exit: it reports what the caller is to do and writes
// its messages to the streams it is given, so that it can run many times in
// one process.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

namespace run {

// Go on with the run, or end the process with `status`.
struct ParseOutcome {
  bool exit = false;
  int status = 0;
};

// Largest numbers of items the lists of the command line may hold.
constexpr std::size_t kMaxFilers = 100;
constexpr std::size_t kMaxProfiles = 100;
constexpr std::size_t kMaxExcludePatterns = 1024;

// Longest values of the options whose text is bounded.
constexpr std::size_t kMaxSktracePointsValue = 127;
constexpr std::size_t kMaxSktraceBuffer = 7;
constexpr std::size_t kMaxForcedOs = 99;

// The trace points used when -T names none.
constexpr const char* kDefaultSktracePoints = "SK 7 FSYS 4";

// Parses `args` (the arguments after the program name) into core::state().
// The usage text goes to `out`; messages go to `err`.
ParseOutcome parse_arguments(const std::vector<std::string>& args, std::FILE* out, std::FILE* err);

// Checks the parsed options for combinations that cannot work together.
ParseOutcome find_option_conflicts(std::FILE* out, std::FILE* err);

}  // namespace run
