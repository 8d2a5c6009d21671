#include "controller/release.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>

#include "core/messages.h"
#include "core/state.h"
#include "exec/query.h"
#include "exec/temp_dir.h"

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

struct Rung {
  int release_number;
  const char* release;
};

// Known releases, oldest first.
constexpr Rung kLadder[] = {
    {650, "MERIX6.5"},   {656, "MERIX6.5.6"}, {700, "MERIX7.0"},   {701, "MERIX7.0.1"},
    {702, "MERIX7.0.2"}, {703, "MERIX7.0.3"}, {704, "MERIX7.0.4"}, {705, "MERIX7.0.5"},
    {706, "MERIX7.0.6"}, {707, "MERIX7.0.7"}, {710, "MERIX7.1"},   {711, "MERIX7.1.1"},
    {712, "MERIX7.1.2"}, {713, "MERIX7.1.3"}, {720, "MERIX7.2"},   {721, "MERIX7.2.1"},
    {722, "MERIX7.2.2"}, {723, "MERIX7.2.3"}, {730, "MERIX7.3"},   {731, "MERIX7.3.1"},
    {732, "MERIX7.3.2"}, {735, "MERIX7.3.5"}, {800, "MERIX8.0"},   {801, "MERIX8.0.1"},
    {802, "MERIX8.0.2"}, {810, "MERIX8.1"},   {811, "MERIX8.1.1"}, {1000, "MERIX10.0"},
};

// Runs longer than this many minutes in total get no statit on the releases
// whose statit cannot run that long.
constexpr long long kLongRunMinutes = 1000;

void enable_legacy_stats(core::FilerTarget& filer, const char* debug_text) {
  filer.legacy_stats = true;
  exec::append_error_log("Enable selective stats objects (legacy_mode) on: " + filer.name);
  core::debug_line(debug_text, filer.name);
}

// A switch applies to a controller when its test holds for the release
// number; the switches are applied in table order.
struct ReleaseSwitch {
  bool (*applies)(int n, const core::FilerTarget& filer, const core::RunOptions& o);
  void (*apply)(core::FilerTarget& filer, const core::RunOptions& o);
};

const ReleaseSwitch kSwitches[] = {
    // Stats instances exist from 7.0.5 on.
    {[](int n, const core::FilerTarget&, const core::RunOptions&) { return n >= 705; },
     [](core::FilerTarget& filer, const core::RunOptions&) {
       filer.stats_enabled = true;
       core::debug_line("Enabling stats data collection on", filer.name);
     }},
    // Domain statistics exist from 7.3 on.
    {[](int n, const core::FilerTarget&, const core::RunOptions&) { return n < 730; },
     [](core::FilerTarget& filer, const core::RunOptions&) {
       filer.domain_stats = false;
       core::debug_line("Disabling domain stats on", filer.name);
     }},
    // Releases whose stats collect everything and keep the exclusion list up
    // to date themselves; the others get selective (legacy) stats.
    {[](int n, const core::FilerTarget&, const core::RunOptions&) {
       return (n >= 706 && n < 710) || (n >= 713 && n < 720) || n >= 722;
     },
     [](core::FilerTarget& filer, const core::RunOptions&) {
       filer.vrs_rebuild = false;
       exec::append_error_log("Disabling frequent VRS exclusion list rebuilding on: " + filer.name);
       core::debug_line("Disabling frequent VRS exclusion list rebuilding on", filer.name);
       filer.legacy_stats = false;
       exec::append_error_log("Enable collection of all stats data on: " + filer.name);
       core::debug_line("Enable collection of all stats data on", filer.name);
     }},
    {[](int n, const core::FilerTarget&, const core::RunOptions&) {
       return n < 706 || (n >= 710 && n < 713) || (n >= 720 && n < 722);
     },
     [](core::FilerTarget& filer, const core::RunOptions&) {
       enable_legacy_stats(filer, "Enable selective stats objects (legacy_mode) on");
     }},
    // A stressed controller gets the light stats set whatever its release.
    {[](int, const core::FilerTarget&, const core::RunOptions& o) { return o.critical_only; },
     [](core::FilerTarget& filer, const core::RunOptions&) {
       enable_legacy_stats(filer,
                           "Enable selective stats objects (legacy_mode) on the stressed filer");
     }},
    // On these releases statit runs once over the sampling time, and not at
    // all in long runs.
    {[](int, const core::FilerTarget& filer, const core::RunOptions&) {
       return filer.release == "MERIX7.0" || filer.release == "MERIX7.0.2" ||
              filer.release == "MERIX";
     },
     [](core::FilerTarget& filer, const core::RunOptions& o) {
       long long minutes = (static_cast<long long>(o.iter_interval) + o.sample_minutes) *
                           static_cast<long long>(o.iterations);
       if (minutes <= kLongRunMinutes) {
         filer.statit_mode = 1;
         return;
       }
       filer.statit_mode = 2;
       core::progress(
           core::format("Long kestrel requested; disabling statit on %s\n", filer.name.c_str()));
       exec::append_error_log(core::format("Long kestrel requested; disabling statit on: %s >> %s",
                                           filer.name.c_str(),
                                           (std::to_string(minutes) + " minutes").c_str()));
     }},
    // Kernel traces are not taken on 7.3 and 7.3.1.
    {[](int n, const core::FilerTarget&, const core::RunOptions&) { return n == 730 || n == 731; },
     [](core::FilerTarget& filer, const core::RunOptions&) {
       filer.sktrace_off = true;
       core::debug_line("Disable sktrace collection on", filer.name);
     }},
};

int unknown_version(const std::string& text) {
  if (!core::state().options.quiet) {
    // One write: the reply's text, its line end made sure of.
    std::string said = "Unknown version.  Using default command set\n" + text;
    if (text.empty() || text.back() != '\n') said += '\n';
    said.pop_back();
    core::error_line(said);
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
  // A number that does not fit, or a negative one, is no release at all.
  char* stop = nullptr;
  errno = 0;
  long long major = std::strtoll(cursor, &stop, 0);
  if (*stop != '.') return unknown_version(text);
  long long minor = std::strtoll(stop + 1, &stop, 0);
  long long patch = 0;
  if (*stop == '.') patch = std::strtoll(stop + 1, &stop, 0);
  constexpr long long kLargest = INT_MAX;
  if (errno == ERANGE || major < 0 || minor < 0 || patch < 0 || major > kLargest / 100 ||
      minor > kLargest / 10 || patch > kLargest) {
    return unknown_version(text);
  }
  long long number = major * 100 + minor * 10 + patch;
  if (number > kLargest) return unknown_version(text);
  return static_cast<int>(number);
}

std::string ladder_release(int release_number) {
  std::string release = "MERIX";
  for (const Rung& rung : kLadder) {
    if (rung.release_number <= release_number) release = rung.release;
  }
  return release;
}

void apply_release(core::FilerTarget& filer, const std::string& version_line, std::FILE* out) {
  const core::RunOptions& o = core::state().options;
  filer.release = "MERIX";
  if (!o.forced_os.empty()) {
    filer.release = o.forced_os;
    filer.release_number = parse_release(filer.release, true);
  } else {
    filer.release_number = parse_release(version_line, false);
    if (filer.release_number != 0) filer.release = ladder_release(filer.release_number);
    std::fprintf(out, "FILEROS,\t%s,\t%s\n", filer.name.c_str(), filer.release.c_str());
  }
  core::debug_line(
      core::format("MERIX on %s mapped to %s", filer.name.c_str(), filer.release.c_str()));

  filer.statit_mode = 0;
  for (const ReleaseSwitch& release_switch : kSwitches) {
    if (release_switch.applies(filer.release_number, filer, o)) release_switch.apply(filer, o);
  }
}

void map_release(const core::Collection& collection) {
  std::string version_line;
  if (core::state().options.forced_os.empty()) {
    std::vector<std::string> reply = exec::capture_filer_query(collection, "version");
    if (!reply.empty()) version_line = reply.front();
  }
  apply_release(*collection.filer, version_line, collection.out);
}

}  // namespace controller
