// Samplers that print one row per interval in real time: sysstat and
// lun stats.
#include <algorithm>
#include <cmath>

#include "controller/sim/output.h"
#include "controller/sim/readings.h"
#include "controller/sim/replies.h"
#include "controller/sim/text.h"
#include "controller/sim/workload_clock.h"

namespace ctlsim {

namespace {

struct Column {
  std::string name;
  bool percent;
  bool letter = false;  // a letter code, not a number
};

std::vector<Column> sysstat_columns(const Model& model, bool extended, bool per_cpu) {
  if (per_cpu) {
    std::vector<Column> columns = {{"ANY1+", true}, {"AVG", true}};
    for (int cpu = 0; cpu < model.processors; ++cpu)
      columns.push_back({format("CPU%d", cpu), true});
    columns.push_back({"Total_ops", false});
    return columns;
  }
  std::vector<Column> columns = {{"CPU", true},      {"NFS", false},    {"CIFS", false},
                                 {"HTTP", false},    {"Net_in", false}, {"Net_out", false},
                                 {"Disk_rd", false}, {"Disk_wr", false}};
  if (extended) {
    std::vector<Column> more = {{"Tape_rd", false}, {"Tape_wr", false},       {"Cache_hit", true},
                                {"CP_time", true},  {"CP_type", false, true}, {"Disk_util", true},
                                {"FCP", false},     {"iSCSI", false}};
    columns.insert(columns.end(), more.begin(), more.end());
  }
  return columns;
}

std::string cell(const Column& column, long long value) {
  return format(" %9s", (std::to_string(value) + (column.percent ? "%" : "")).c_str());
}

void print_summary(const std::vector<Column>& columns,
                   const std::vector<std::vector<long long>>& rows, long interval) {
  out(format("--\nSummary Statistics (%6zu samples %5ld.0 secs/sample)\n", rows.size(), interval));
  for (const Column& column : columns) out(format(" %9s", column.name.c_str()));
  out("\n");
  const char* names[] = {"Min", "Avg", "Max"};
  for (int kind = 0; kind < 3; ++kind) {
    out(std::string(names[kind]) + "\n");
    for (size_t c = 0; c < columns.size(); ++c) {
      long long low = rows[0][c], high = rows[0][c], sum = 0;
      for (const auto& row : rows) {
        low = std::min(low, row[c]);
        high = std::max(high, row[c]);
        sum += row[c];
      }
      long long value = kind == 0   ? low
                        : kind == 2 ? high
                                    : sum / static_cast<long long>(rows.size());
      out(columns[c].letter ? format(" %9s", "-") : cell(columns[c], value));
    }
    out("\n");
  }
}

}  // namespace

// sysstat [-c count] [-s] [-x] [-u] [-M] [-d] [interval]: a row per interval
// (default 15 seconds), each written when its interval has passed; without
// -c it runs until killed.
void reply_sysstat(Session& session, const Words& words) {
  const Model& model = *session.model;
  long count = 0;
  long interval = 15;
  bool summary = false, extended = false, per_cpu = false;
  for (size_t i = 1; i < words.size(); ++i) {
    const std::string& word = words[i];
    long number = 0;
    if (word == "-c" && i + 1 < words.size() && parse_int(words[i + 1], number) && number > 0) {
      count = number;
      ++i;
    } else if (word == "-s") {
      summary = true;
    } else if (word == "-x") {
      extended = true;
    } else if (word == "-M") {
      per_cpu = true;
    } else if (word == "-u" || word == "-d" || word == "-f" || word == "-b" || word == "-i") {
      continue;
    } else if (i + 1 == words.size() && parse_int(word, number) && number > 0) {
      interval = number;
    } else {
      err(
          format("sysstat: invalid argument \"%s\"\n"
                 "usage: sysstat [-c count] [-s] [-u|-x|-m|-f|-i|-b|-M] [interval]\n",
                 word.c_str()));
      return;
    }
  }
  std::vector<Column> columns = sysstat_columns(model, extended, per_cpu);
  for (const Column& column : columns) out(format(" %9s", column.name.c_str()));
  out("\n");
  long rows = count > 0
                  ? count
                  : static_cast<long>(hang_limit_seconds() / static_cast<double>(interval)) + 1;
  std::vector<std::vector<long long>> taken;
  for (long row = 1; row <= rows; ++row) {
    pace(static_cast<double>(interval));
    // The row gives the mean of the interval it has just waited.
    Load load = recent_load(model, static_cast<double>(interval) * time_scale());
    std::vector<long long> values;
    for (const Column& column : columns) {
      values.push_back(std::llround(sysstat_column(load, column.name, model.processors)));
      out(column.letter ? format(" %9s", cp_type(load)) : cell(column, values.back()));
    }
    out("\n");
    taken.push_back(values);
  }
  if (summary && !taken.empty()) print_summary(columns, taken, interval);
}

void reply_lun(Session& session, const Words& words) {
  const Model& model = *session.model;
  if (words.size() < 2 || words[1] != "stats") {
    reply_generic(session, words);
    return;
  }
  const char* luns[] = {"/vol/vol1/lun0", "/vol/vol1/lun1"};
  long count = 0;
  long interval = 0;
  for (size_t i = 2; i < words.size(); ++i) {
    long number = 0;
    if ((words[i] == "-c" || words[i] == "-i") && i + 1 < words.size() &&
        parse_int(words[i + 1], number) && number > 0) {
      (words[i] == "-c" ? count : interval) = number;
      ++i;
    } else if (words[i] == "-z") {
      return;  // counters zeroed, nothing printed
    }
  }
  if (interval == 0) {
    for (const char* lun : luns) {
      out(format("    %s  (7 days, 11 hours, 0 minutes, 3 seconds)\n", lun));
      out("        Read (kbytes)  Write (kbytes)  Read Ops  Write Ops  Other Ops  QFulls\n");
      std::string seed = model.name + "/lun/" + lun;
      out(format("        %-14lld %-15lld %-9lld %-10lld %-10lld 0\n",
                 counter_value(seed + "rk", 640000), counter_value(seed + "wk", 640000),
                 counter_value(seed + "ro", 640000), counter_value(seed + "wo", 640000),
                 counter_value(seed + "oo", 64)));
    }
    return;
  }
  if (count == 0)
    count = static_cast<long>(hang_limit_seconds() / static_cast<double>(interval)) + 1;
  out("    Read  Write  Other  QFull   Read  Write  Average   Queue  Lun\n");
  out("     Ops    Ops    Ops           kB     kB  Latency  Length\n");
  for (long sample = 1; sample <= count; ++sample) {
    pace(static_cast<double>(interval));
    // Per second over the interval just waited: the block protocols' ops
    // shared by the LUNs, the workload's latency, and as many requests
    // queued as arrive within one latency.
    Load load = recent_load(model, static_cast<double>(interval) * time_scale());
    double ops = (load.fcp + load.iscsi) / 2;
    for (const char* lun : luns) {
      double reads = ops * 0.6, writes = ops * 0.4;
      out(format("  %6lld %6lld %6lld %6d %6lld %6lld %8.2f %7.2f  %s\n", std::llround(reads),
                 std::llround(writes), std::llround(ops * 0.01), 0, std::llround(reads * 16),
                 std::llround(writes * 12), load.latency_ms, ops * load.latency_ms / 1000, lun));
    }
  }
}

}  // namespace ctlsim
