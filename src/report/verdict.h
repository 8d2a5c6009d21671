// The verdict that opens the page: one row per target (controllers, virtual
// controllers with data of their own, the host) with min / mean / p95 / max
// of its key columns, busiest first, and the findings of the rules (see
// rules.h), each with its time window and the report lines it comes from.
#pragma once

#include <cstddef>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "report/report.h"
#include "report/rules.h"
#include "report/summary.h"
#include "report/tables.h"

namespace report {

struct TargetRow {
  std::string target;
  TargetKind kind = TargetKind::kController;
  bool virtual_controller = false;
  std::vector<Stats> stats;  // one per shown_labels(), count 0 where the target has none
  std::size_t rows = 0;      // sampler rows of its first key column
  double score = -1;         // highest p95 / threshold of its rules; -1 without data
  std::size_t findings = 0;
};

struct Finding {
  std::string rule;  // the rule's id
  Severity severity = Severity::kNotice;
  std::string target;
  std::string text;    // the rule's text, with what it found
  int iteration = 0;   // 0 when it has none
  bool timed = false;  // from and to are seconds since 1970
  double from = 0, to = 0;
  bool has_section = false;
  std::size_t section = 0;                    // the section holding the raw lines
  std::size_t first_line = 0, last_line = 0;  // 1-based report lines, 0 unknown
  std::string where;                          // the file or command those lines are in
};

struct Verdict {
  std::vector<TargetRow> rows;  // busiest first
  std::vector<Finding> findings;
};

// A target's key columns read from its sampler files, on the clock.
struct TargetSeries {
  std::string target;
  TargetKind kind = TargetKind::kController;
  std::map<std::string, std::vector<Series>> columns;  // label -> a series per file
};

// Every target with key columns, in the order their files come. Where a
// column names several files, each iteration takes the first it has.
std::vector<TargetSeries> key_series(const Report& report, const std::vector<SamplerFile>& files);

Verdict make_verdict(const Report& report, const std::vector<SamplerFile>& files,
                     const std::vector<SectionStatus>& states);
Verdict make_verdict(const Report& report);

// Busiest first: the higher score, then more findings, then the name.
void order_rows(std::vector<TargetRow>& rows);

// The 1-based report line of each row of a sampler file, 0 where unknown:
// rows of a table of columns, or samples of object:instance:counter lines.
std::vector<std::size_t> row_lines(const Report& report, const Section& section);

// "#zoom=FROM-TO": whole seconds, the window rounded outwards.
std::string zoom_link(const Finding& finding);

// The verdict block of the page (a <section id="verdict">).
std::string verdict_html(const Verdict& verdict);

// The verdict rows and the findings as text, a finding per line.
void write_findings_text(const Verdict& verdict, std::ostream& out);

}  // namespace report
