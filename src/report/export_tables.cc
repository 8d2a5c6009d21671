#include "report/export_tables.h"

#include <cctype>
#include <set>

#include "report/text.h"

namespace report {

namespace {

// How the tables of a file kind are named and labelled.
struct FileNaming {
  const char* prefix;          // of the file name
  const char* set;             // the column catalogue it uses, "" for generic names
  const char* stem;            // after "kestrel_"
  const char* side;            // "controller" or "host"
  const char* instance_label;  // for tables with instances
  const char* part_split;      // how chart titles split into part and column: ":", ": ", ""
};

const FileNaming kFileNamings[] = {
    {"sysstat_1sec", "sysstat", "controller_1s_", "controller", "instance", ""},
    {"sysstatM", "sysstatM", "controller_", "controller", "instance", ""},
    {"sysstat", "sysstat", "controller_", "controller", "instance", ""},
    {"lun_stats", "lun", "controller_lun_", "controller", "lun", ""},
    {"vifstat_", "vif", "controller_vif_", "controller", "instance", ""},
    {"protocol_stats", "", "controller_protocol_", "controller", "instance", ":"},
    {"domain_stats", "", "controller_domain_", "controller", "instance", ":"},
    {"statit", "", "controller_statit_", "controller", "instance", ": "},
    {"system_perfmon", "host_system", "host_", "host", "instance", ""},
    {"ldisk_perfmon", "host_disk", "host_disk_", "host", "disk", ""},
};

// The column catalogue. A '*' in `column` matches any text, which becomes
// the value of `label` and replaces the '*' of the CSV name.
struct ColumnNaming {
  const char* set;
  const char* column;
  const char* csv;
  const char* metric;  // after "kestrel_" and the file's stem
  const char* unit;
  const char* help;
  const char* label;
};

const ColumnNaming kColumnNamings[] = {
    {"sysstat", "CPU", "cpu_pct", "cpu_percent", "percent", "CPU busy", ""},
    {"sysstat", "NFS", "nfs_ops_per_s", "nfs_ops_per_second", "", "NFS operations per second", ""},
    {"sysstat", "CIFS", "cifs_ops_per_s", "cifs_ops_per_second", "", "CIFS operations per second",
     ""},
    {"sysstat", "HTTP", "http_ops_per_s", "http_ops_per_second", "", "HTTP operations per second",
     ""},
    {"sysstat", "FCP", "fcp_ops_per_s", "fcp_ops_per_second", "", "FCP operations per second", ""},
    {"sysstat", "iSCSI", "iscsi_ops_per_s", "iscsi_ops_per_second", "",
     "iSCSI operations per second", ""},
    {"sysstat", "Net_in", "net_in_kbps", "net_in_kbytes_per_second", "kbytes_per_second",
     "network kilobytes received per second", ""},
    {"sysstat", "Net_out", "net_out_kbps", "net_out_kbytes_per_second", "kbytes_per_second",
     "network kilobytes sent per second", ""},
    {"sysstat", "Disk_rd", "disk_read_kbps", "disk_read_kbytes_per_second", "kbytes_per_second",
     "disk kilobytes read per second", ""},
    {"sysstat", "Disk_wr", "disk_write_kbps", "disk_write_kbytes_per_second", "kbytes_per_second",
     "disk kilobytes written per second", ""},
    {"sysstat", "Tape_rd", "tape_read_kbps", "tape_read_kbytes_per_second", "kbytes_per_second",
     "tape kilobytes read per second", ""},
    {"sysstat", "Tape_wr", "tape_write_kbps", "tape_write_kbytes_per_second", "kbytes_per_second",
     "tape kilobytes written per second", ""},
    {"sysstat", "Cache_hit", "cache_hit_pct", "cache_hit_percent", "percent", "cache hit ratio",
     ""},
    {"sysstat", "CP_time", "cp_time_pct", "cp_time_percent", "percent",
     "time spent in consistency points", ""},
    {"sysstat", "Disk_util", "disk_util_pct", "disk_util_percent", "percent",
     "busiest disk's utilisation", ""},
    {"sysstatM", "ANY1+", "any_busy_pct", "cpu_any_busy_percent", "percent",
     "time at least one processor was busy", ""},
    {"sysstatM", "AVG", "avg_busy_pct", "cpu_avg_busy_percent", "percent",
     "processors' average busy time", ""},
    {"sysstatM", "CPU*", "cpu*_pct", "processor_busy_percent", "percent",
     "one processor's busy time", "processor"},
    {"sysstatM", "Total_ops", "total_ops_per_s", "total_ops_per_second", "",
     "operations per second, all protocols", ""},
    {"lun", "Read Ops", "read_ops_per_s", "read_ops_per_second", "", "LUN reads per second", ""},
    {"lun", "Write Ops", "write_ops_per_s", "write_ops_per_second", "", "LUN writes per second",
     ""},
    {"lun", "Other Ops", "other_ops_per_s", "other_ops_per_second", "",
     "LUN other operations per second", ""},
    {"lun", "QFull", "queue_full_per_s", "queue_full_per_second", "",
     "LUN queue-full replies per second", ""},
    {"lun", "Read kB", "read_kbps", "read_kbytes_per_second", "kbytes_per_second",
     "LUN kilobytes read per second", ""},
    {"lun", "Write kB", "write_kbps", "write_kbytes_per_second", "kbytes_per_second",
     "LUN kilobytes written per second", ""},
    {"lun", "Average Latency", "latency_ms", "latency_milliseconds", "milliseconds",
     "LUN average latency", ""},
    {"lun", "Queue Length", "queue_length", "queue_length", "", "LUN average queue length", ""},
    {"vif", "* In", "*_in_per_s", "in_per_second", "",
     "interface input per second, as vif stat prints it", "interface"},
    {"vif", "* Out", "*_out_per_s", "out_per_second", "",
     "interface output per second, as vif stat prints it", "interface"},
    {"host_system", "%usr", "cpu_user_pct", "cpu_user_percent", "percent", "CPU time in user mode",
     ""},
    {"host_system", "%sys", "cpu_system_pct", "cpu_system_percent", "percent",
     "CPU time in the kernel", ""},
    {"host_system", "%cpu", "cpu_pct", "cpu_percent", "percent", "CPU busy", ""},
    {"host_system", "intr/s", "interrupts_per_s", "interrupts_per_second", "",
     "interrupts per second", ""},
    {"host_system", "csw/s", "context_switches_per_s", "context_switches_per_second", "",
     "context switches per second", ""},
    {"host_system", "FRops/s", "fs_read_ops_per_s", "fs_read_ops_per_second", "",
     "file system reads per second", ""},
    {"host_system", "FWops/s", "fs_write_ops_per_s", "fs_write_ops_per_second", "",
     "file system writes per second", ""},
    {"host_system", "FR kb/s", "fs_read_kbps", "fs_read_kbytes_per_second", "kbytes_per_second",
     "file system kilobytes read per second", ""},
    {"host_system", "FW kb/s", "fs_write_kbps", "fs_write_kbytes_per_second", "kbytes_per_second",
     "file system kilobytes written per second", ""},
    {"host_disk", "%DT", "busy_pct", "busy_percent", "percent", "time the disk was busy", ""},
    {"host_disk", "%DRT", "read_busy_pct", "read_busy_percent", "percent", "time spent reading",
     ""},
    {"host_disk", "%DWT", "write_busy_pct", "write_busy_percent", "percent", "time spent writing",
     ""},
    {"host_disk", "aQL", "queue_length", "queue_length", "", "average queue length", ""},
    {"host_disk", "aRQL", "read_queue_length", "read_queue_length", "", "average read queue length",
     ""},
    {"host_disk", "aWQL", "write_queue_length", "write_queue_length", "",
     "average write queue length", ""},
    {"host_disk", "aS/x", "transfer_s", "transfer_seconds", "seconds", "average time per transfer",
     ""},
    {"host_disk", "aS/Rd", "read_s", "read_seconds", "seconds", "average time per read", ""},
    {"host_disk", "aS/Wr", "write_s", "write_seconds", "seconds", "average time per write", ""},
    {"host_disk", "xfr/s", "transfers_per_s", "transfers_per_second", "", "transfers per second",
     ""},
    {"host_disk", "r/s", "reads_per_s", "reads_per_second", "", "reads per second", ""},
    {"host_disk", "w/s", "writes_per_s", "writes_per_second", "", "writes per second", ""},
    {"host_disk", "KB/s", "kbps", "kbytes_per_second", "kbytes_per_second",
     "kilobytes moved per second", ""},
    {"host_disk", "rKB/s", "read_kbps", "read_kbytes_per_second", "kbytes_per_second",
     "kilobytes read per second", ""},
    {"host_disk", "wKB/s", "write_kbps", "write_kbytes_per_second", "kbytes_per_second",
     "kilobytes written per second", ""},
    {"host_disk", "aKB/x", "transfer_kbytes", "transfer_kbytes", "kbytes",
     "average kilobytes per transfer", ""},
    {"host_disk", "aKB/r", "read_kbytes", "read_kbytes", "kbytes", "average kilobytes per read",
     ""},
    {"host_disk", "aKB/w", "write_kbytes", "write_kbytes", "kbytes", "average kilobytes per write",
     ""},
};

// Matches `column` against a pattern with at most one '*'; the text the '*'
// stands for goes to `star`.
bool matches(std::string_view pattern, std::string_view column, std::string& star) {
  std::size_t at = pattern.find('*');
  if (at == std::string_view::npos) return pattern == column;
  std::string_view before = pattern.substr(0, at), after = pattern.substr(at + 1);
  if (column.size() <= before.size() + after.size()) return false;
  if (!starts_with(column, before) || !ends_with(column, after)) return false;
  star = std::string(column.substr(before.size(), column.size() - before.size() - after.size()));
  return true;
}

std::string plain(std::string_view text, bool metric) {
  std::string out;
  bool percent = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (c == '%') {
      percent = true;
      continue;
    }
    if (c == '/' && i + 1 < text.size() && (text[i + 1] == 's' || text[i + 1] == 'S') &&
        (i + 2 == text.size() || !std::isalnum(static_cast<unsigned char>(text[i + 2])))) {
      out += "_per_s";
      ++i;
      continue;
    }
    if (c < 0x80 && std::isalnum(c)) {
      out += static_cast<char>(std::tolower(c));
    } else if (!out.empty() && out.back() != '_') {
      out += '_';
    }
  }
  while (!out.empty() && out.back() == '_') out.pop_back();
  if (percent) out += out.empty() ? (metric ? "percent" : "pct") : (metric ? "_percent" : "_pct");
  if (out.empty()) out = "value";
  if (std::isdigit(static_cast<unsigned char>(out[0]))) out = "c" + out;
  return out;
}

// Column names the file's legend says have no source ("FC kb/s == no Linux
// source, reads 0").
std::set<std::string> sourceless_columns(const Report& report, const Section& section) {
  std::set<std::string> names;
  if (report.lines.empty()) return names;
  for (std::size_t l = section.body_begin; l < section.body_end && l < report.lines.size(); ++l) {
    std::string_view line = report.line(l);
    std::size_t eq = line.find("== ");
    if (eq == std::string_view::npos) continue;
    std::string_view meaning = line.substr(eq + 3);
    if (meaning.find("no ") == std::string_view::npos ||
        meaning.find("source") == std::string_view::npos)
      continue;
    names.insert(std::string(trim(line.substr(0, eq))));
  }
  return names;
}

ExportColumn name_column(const FileNaming& naming, const std::string& part,
                         const std::string& column) {
  ExportColumn c;
  c.source = column;
  std::string prefix = std::string("kestrel_") + naming.stem;
  if (!part.empty()) prefix += plain(part, true) + "_";
  for (const ColumnNaming& entry : kColumnNamings) {
    std::string star;
    if (std::string_view(entry.set) != naming.set || !matches(entry.column, column, star)) continue;
    c.csv = entry.csv;
    std::size_t at = c.csv.find('*');
    if (at != std::string::npos) {
      std::string part = plain(star, false);
      if (part.size() > 1 && part[0] == 'c' && !std::isalpha(static_cast<unsigned char>(star[0])))
        part.erase(0, 1);  // no letter before a leading digit inside a name
      c.csv.replace(at, 1, part);
    }
    c.metric = prefix + entry.metric;
    c.unit = entry.unit;
    c.help = entry.help;
    c.label_name = entry.label;
    c.label_value = star;
    return c;
  }
  c.csv = plain(column, false);
  c.metric = prefix + plain(column, true);
  if (column.find('%') != std::string::npos) c.unit = "percent";
  c.help = "column \"" + column + "\" of the file";
  return c;
}

bool has_instances(const Chart& chart) {
  return !(chart.names.size() == 1 && chart.names[0] == chart.title);
}

bool same_samples(const Chart& a, const Chart& b) {
  if (a.x != b.x || a.x_label != b.x_label || has_instances(a) != has_instances(b)) return false;
  return !has_instances(a) || a.names == b.names;
}

// Names within one table made unique: "_2", "_3" after a repeated one.
void unique_names(ExportTable& table) {
  std::set<std::string> csv, metric;
  for (ExportColumn& c : table.columns) {
    std::string base = c.csv;
    for (int n = 2; !csv.insert(c.csv).second; ++n) c.csv = base + "_" + std::to_string(n);
    base = c.metric;
    for (int n = 2; !metric.insert(c.metric + '\n' + c.label_value).second; ++n) {
      c.metric = base + "_" + std::to_string(n);
      c.unit.clear();  // the name no longer ends with it
    }
  }
}

}  // namespace

bool exported(const SamplerFile& file, const Section& section) {
  return file.kind != "table" || !section.begin_stamp.empty();
}

std::string plain_name(std::string_view text) {
  return plain(text, false);
}

std::string capture_id(const Report& report) {
  long long first = -1;
  for (const Iteration& it : report.iterations) {
    if (it.begin_epoch >= 0) {
      first = it.begin_epoch;
      break;
    }
  }
  for (std::size_t i = 0; first < 0 && i < report.sections.size(); ++i)
    if (report.sections[i].end_epoch >= 0) first = report.sections[i].end_epoch;
  std::string host = report.header.host_name.empty() ? "unknown" : report.header.host_name;
  return host + "-" + (first >= 0 ? std::to_string(first) : std::string("0"));
}

std::vector<ExportTable> export_tables(const Report& report, const SamplerFile& file,
                                       const std::vector<long long>& starts) {
  std::vector<ExportTable> tables;
  const Section& section = report.sections[file.section];
  static const FileNaming kGeneric{"", "", "", "controller", "instance", ""};
  const FileNaming* naming = &kGeneric;
  for (const FileNaming& n : kFileNamings) {
    if (starts_with(section.command, n.prefix)) {
      naming = &n;
      break;
    }
  }
  const bool host_side = section.target == report.header.host_name;
  std::string generic_stem;
  if (naming == &kGeneric) {
    std::string stem = section.command.substr(0, section.command.rfind('.'));
    generic_stem = std::string(host_side ? "host_" : "controller_") + plain(stem, true) + "_";
  }
  FileNaming own = *naming;
  if (naming == &kGeneric) {
    own.stem = generic_stem.c_str();
    own.side = host_side ? "host" : "controller";
  }
  const std::set<std::string> sourceless = sourceless_columns(report, section);
  const FileClock clock = file_clock(report, section, file, starts);
  const std::string split = own.part_split;
  for (const Chart& chart : file.charts) {
    std::string part, column = chart.title;
    if (!split.empty()) {
      std::size_t at = split == ":" ? chart.title.find(':') : chart.title.rfind(split);
      if (at != std::string::npos) {
        part = chart.title.substr(0, at);
        column = chart.title.substr(at + split.size());
      }
    }
    if (split == ":" && part == "system" && column == "time") continue;  // the clock itself
    if (sourceless.count(column)) continue;
    if (tables.empty() || tables.back().part != part ||
        !same_samples(*tables.back().columns.front().chart, chart)) {
      ExportTable t;
      t.section = file.section;
      t.file = section.command;
      t.part = part;
      t.kind = file.kind;
      t.side = own.side;
      t.target = section.target;
      t.iteration = section.iteration;
      if (has_instances(chart)) {
        t.instance_label = own.instance_label;
        t.instances = chart.names;
      } else {
        t.instances = {std::string()};
      }
      t.clock = clock;
      Placement placement = place_rows(clock, chart);
      t.times = std::move(placement.times);
      t.problems = std::move(placement.problems);
      tables.push_back(std::move(t));
    }
    ExportColumn c = name_column(own, part, column);
    c.chart = &chart;
    tables.back().columns.push_back(std::move(c));
  }
  std::set<std::string> parts;
  for (ExportTable& t : tables) {
    unique_names(t);
    t.name = t.part.empty() ? "" : plain(t.part, false);
    if (!parts.insert(t.part).second || (&t != &tables.back() && (&t + 1)->part == t.part))
      t.name += (t.name.empty() ? "" : "_") + t.columns.front().csv;
  }
  return tables;
}

}  // namespace report
