// Figures over the sections that the index, the JSON and the page share.
#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "report/report.h"

namespace report {

struct TargetTotals {
  std::string target;
  int sections = 0;
  long long seconds = 0;  // of the timed commands
  int excluded = 0;
  int killed = 0;
  int empty = 0;
  int cut = 0;
};

// Per target, in the order the targets first appear.
std::vector<TargetTotals> totals_per_target(const Report& report);

// The same, one section at a time.
struct TotalsBuilder {
  std::vector<TargetTotals> totals;
  std::map<std::string, std::size_t> where;
  void add(const Section& section);
};

// A command or file dump with its seconds.
bool is_timed(const Section& section);

// Indexes of the timed sections, longest first, at most `count`.
std::vector<std::size_t> slowest_sections(const Report& report, std::size_t count);

// The same, one section at a time: the longest `count`, the earlier first
// among equals, with their index over all sections.
struct SlowestBuilder {
  std::size_t count = 10;
  std::vector<std::pair<std::size_t, Section>> slowest;
  void add(const Section& section, std::size_t index);
};

// The flags of a section as words: "excluded", "killed", "empty", "cut".
std::vector<std::string> section_flags(const Section& section);

// What became of a section, as the page shows it.
enum class Status { kOk, kEmpty, kFailed, kKilled, kExcluded, kPretend };

const char* status_name(Status status);  // "ok", "empty", "failed", ...

struct SectionStatus {
  Status status = Status::kOk;
  std::string message;  // the error text or the kill line; empty for the others
};

// One per section of `report`: excluded and pretend first, then killed (the
// kill line, with any error text), failed (standard error text that the
// error log holds for the command), empty, ok.
std::vector<SectionStatus> section_statuses(const Report& report);

// Whole seconds as the report has them: "<1 s" for 0, "" when unknown.
std::string duration_label(int seconds);

// A line that says whether the report is whole, and if not where it stops
// or where its structure does not add up.
std::string status_line(const Report& report);

}  // namespace report
