#include "controller/release.h"

#include <cstdio>
#include <cstdlib>

#include "run/state.h"

namespace controller {

namespace {

struct CodeWord {
  const char* word;
  int release_number;
};

// Development releases name themselves by code word; the first found wins.
constexpr CodeWord kCodeWords[] = {
    {"redshank", 730},  {"oystercatcher", 723}, {"dunlin", 712},
    {"kittiwake", 706}, {"sandpiper", 656},     {"RGreyHeron", 810},
};

int unknown_version(const std::string& text) {
  if (!run::state().options.quiet) {
    std::fputs("Unknown version.  Using default command set\n", stderr);
    std::fputs(text.c_str(), stderr);
    if (text.empty() || text.back() != '\n') std::fputc('\n', stderr);
  }
  return 0;
}

}  // namespace

int parse_release(const std::string& text, bool forced) {
  for (const CodeWord& code : kCodeWords) {
    if (text.find(code.word) != std::string::npos) return code.release_number;
  }
  const std::string anchor = forced ? "MERIX" : "Release";
  size_t at = text.find(anchor);
  if (at == std::string::npos) return unknown_version(text);

  // Numbers are read like strtol with base 0: "0x" is hexadecimal, a leading
  // "0" octal.
  const char* cursor = text.c_str() + at + anchor.size();
  char* stop = nullptr;
  long major = std::strtol(cursor, &stop, 0);
  if (*stop != '.') return unknown_version(text);
  long minor = std::strtol(stop + 1, &stop, 0);
  long patch = 0;
  if (*stop == '.') patch = std::strtol(stop + 1, &stop, 0);
  return static_cast<int>(major * 100 + minor * 10 + patch);
}

}  // namespace controller
