// Sampler tables in tidy form for the exports: one table per group of a
// file's charts that share their samples and instances, each column with a
// stable CSV name and metric name from a catalogue, each row placed on the
// clock.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "report/clock.h"
#include "report/report.h"
#include "report/tables.h"

namespace report {

struct ExportColumn {
  const Chart* chart = nullptr;
  std::string source;       // the column as the file names it: "Net_in", "Read Ops"
  std::string csv;          // "net_in_kbps"
  std::string metric;       // "kestrel_controller_net_in_kbytes_per_second"
  std::string unit;         // "kbytes_per_second", empty when none
  std::string help;         // one line
  std::string label_name;   // a label the column name carries ("processor"), or empty
  std::string label_value;  // "0" for CPU0
};

struct ExportTable {
  std::size_t section = 0;
  std::string file;    // the section's file name, as the report has it
  std::string part;    // the object or statit group the table holds, or empty
  std::string name;    // the table's name within its file: the part, plus its first
                       // column when the part has several tables; may be empty
  std::string kind;    // "sysstat", ...
  std::string side;    // "controller" or "host"
  std::string target;  // as the report has it
  int iteration = 1;
  std::string instance_label;          // "lun", "disk", "instance"; empty: no instances
  std::vector<std::string> instances;  // one per series (empty names when none)
  std::vector<ExportColumn> columns;
  FileClock clock;
  std::vector<std::optional<double>> times;  // per sample
  std::vector<Problem> problems;             // of the clock
  std::size_t samples() const { return times.size(); }
};

// The tidy tables of one sampler file. Columns the file says have no source
// (they read 0) are left out, and so is the stats time counter (the clock).
std::vector<ExportTable> export_tables(const Report& report, const SamplerFile& file,
                                       const std::vector<long long>& starts);

// Whether a file's tables are exported: the samplers' files, and other
// tables only when a sampler stamped them with Begin (configuration
// listings that happen to look like tables are left out).
bool exported(const SamplerFile& file, const Section& section);

// Lower-case letters, digits and '_' only: "Read Ops" -> "read_ops",
// "%usr" -> "usr_pct".
std::string plain_name(std::string_view text);

// The stable id of a capture: host name and first epoch, "fhost-1796784355".
std::string capture_id(const Report& report);

}  // namespace report
