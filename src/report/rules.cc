#include "report/rules.h"

#include <algorithm>
#include <cmath>

namespace report {

namespace {

using K = TargetKind;

// The key columns. Controller figures come from sysstat (one row per
// SAMPLE_INTERVAL, else its one-second form) and the protocol counters; the
// host's from its system counters.
const std::vector<KeyColumn> kKeyColumns = {
    {"CPU", "%", K::kController, "sysstat.out|sysstat_1sec.out", "CPU", Combine::kFirst, true},
    {"CPU", "%", K::kHost, "system_perfmon.out", "%cpu", Combine::kFirst, true},
    {"Disk_util", "%", K::kController, "sysstat.out|sysstat_1sec.out", "Disk_util", Combine::kFirst,
     true},
    {"CP_time", "%", K::kController, "sysstat.out|sysstat_1sec.out", "CP_time", Combine::kFirst,
     true},
    {"Cache_hit", "%", K::kController, "sysstat.out|sysstat_1sec.out", "Cache_hit", Combine::kFirst,
     true},
    {"Net_in", "KB/s", K::kController, "sysstat.out|sysstat_1sec.out", "Net_in", Combine::kFirst,
     true},
    {"Net_out", "KB/s", K::kController, "sysstat.out|sysstat_1sec.out", "Net_out", Combine::kFirst,
     true},
    {"Ops", "ops/s", K::kController, "sysstat.out|sysstat_1sec.out", "NFS|CIFS|HTTP|FCP|iSCSI",
     Combine::kSum, true},
    {"Latency", "ms", K::kController, "protocol_stats.out",
     "nfsv3:nfsv3_avg_op_latency|cifs:cifs_latency", Combine::kMax, true},
    {"Disk_read", "KB/s", K::kController, "sysstat.out|sysstat_1sec.out", "Disk_rd",
     Combine::kFirst, true},
    {"Disk_read", "KB/s", K::kHost, "system_perfmon.out", "FR kb/s", Combine::kFirst, true},
    {"Disk_write", "KB/s", K::kController, "sysstat.out|sysstat_1sec.out", "Disk_wr",
     Combine::kFirst, true},
    {"Disk_write", "KB/s", K::kHost, "system_perfmon.out", "FW kb/s", Combine::kFirst, true},
    {"CP_type", "", K::kController, "sysstat.out|sysstat_1sec.out", "CP_type|CP_ty",
     Combine::kFirst, false},
};

// The rules. Durations are wall-clock seconds covered by consecutive rows
// (a row stands for the interval that ends at its time).
const std::vector<Rule> kRules = {
    {"controller-cpu", K::kController, "CPU", Condition::kAtLeast, 90, "", 30, Severity::kWarning,
     "", 0, "CPU at or above 90 % for 30 s or more"},
    {"controller-disk", K::kController, "Disk_util", Condition::kAtLeast, 70, "", 15,
     Severity::kWarning, "", 0, "Disk_util at or above 70 % sustained (15 s or more)"},
    {"controller-cp-type", K::kController, "CP_type", Condition::kTextIn, 0, "Bb", 0,
     Severity::kWarning, "", 0, "back-to-back consistency points (CP type B or b)"},
    {"controller-cp-time", K::kController, "CP_time", Condition::kAtLeast, 95, "", 15,
     Severity::kWarning, "", 0,
     "consistency points back to back: CP_time at or above 95 % for 15 s or more"},
    {"controller-cache", K::kController, "Cache_hit", Condition::kBelow, 50, "", 30,
     Severity::kNotice, "Ops", 500,
     "Cache_hit below 50 % for 30 s or more while serving 500 ops/s or more"},
    {"controller-latency", K::kController, "Latency", Condition::kAtLeast, 20, "", 15,
     Severity::kWarning, "", 0, "protocol latency at or above 20 ms for 15 s or more"},
    {"host-cpu", K::kHost, "CPU", Condition::kAtLeast, 90, "", 10, Severity::kWarning, "", 0,
     "the host's CPU saturated (90 % or more for 10 s or more) during the capture: its own "
     "samples and timings may be late"},
    {"unreachable", K::kController, "", Condition::kUnreachable, 0, "", 0, Severity::kCritical, "",
     0, "controller unreachable: its remote shell failed at set-up and the run quit"},
    {"killed", K::kController, "killed", Condition::kStatus, 0, "", 0, Severity::kWarning, "", 0,
     "command killed"},
    {"failed", K::kController, "failed", Condition::kStatus, 0, "", 0, Severity::kWarning, "", 0,
     "command failed"},
    {"excluded", K::kController, "excluded", Condition::kStatus, 0, "", 0, Severity::kNotice, "", 0,
     "command excluded"},
};

bool holds(const Rule& rule, const Series& series, std::size_t i) {
  double value = i < series.values.size() ? series.values[i] : std::nan("");
  switch (rule.condition) {
    case Condition::kAtLeast:
      return !std::isnan(value) && value >= rule.threshold;
    case Condition::kBelow:
      return !std::isnan(value) && value < rule.threshold;
    case Condition::kTextIn: {
      if (i >= series.texts.size() || series.texts[i].empty()) return false;
      return std::string(rule.letters).find(series.texts[i][0]) != std::string::npos;
    }
    default:
      return false;
  }
}

}  // namespace

const std::vector<KeyColumn>& key_columns() {
  return kKeyColumns;
}

std::string key_column_unit(const std::string& label) {
  for (const KeyColumn& c : kKeyColumns)
    if (label == c.label) return c.unit;
  return "";
}

std::vector<std::string> shown_labels() {
  std::vector<std::string> labels;
  for (const KeyColumn& c : kKeyColumns) {
    if (c.shown && std::find(labels.begin(), labels.end(), c.label) == labels.end())
      labels.emplace_back(c.label);
  }
  return labels;
}

const std::vector<Rule>& rules() {
  return kRules;
}

const char* severity_name(Severity severity) {
  switch (severity) {
    case Severity::kCritical:
      return "critical";
    case Severity::kWarning:
      return "warning";
    case Severity::kNotice:
      return "notice";
  }
  return "notice";
}

std::vector<Window> sustained(const Rule& rule, const Series& series, const Series* guard) {
  std::vector<Window> windows;
  const std::size_t n = series.times.size();
  bool open = false;
  Window w;
  auto close = [&] {
    if (open && w.to - w.from >= rule.seconds) windows.push_back(w);
    open = false;
  };
  for (std::size_t i = 0; i < n; ++i) {
    double t = series.times[i];
    bool ok = !std::isnan(t) && holds(rule, series, i);
    if (ok && guard && *rule.guard_column) {
      double g = i < guard->values.size() ? guard->values[i] : std::nan("");
      ok = !std::isnan(g) && g >= rule.guard_value;
    }
    if (open && (!ok || t - w.to > 2 * series.interval)) close();
    if (!ok) continue;
    double value = i < series.values.size() ? series.values[i] : std::nan("");
    if (!open) {
      open = true;
      w = Window{i, i, t - series.interval, t, value};
    } else {
      w.last = i;
      w.to = t;
      if (!std::isnan(value) &&
          (std::isnan(w.worst) ||
           (rule.condition == Condition::kBelow ? value < w.worst : value > w.worst)))
        w.worst = value;
    }
  }
  close();
  return windows;
}

int heat(TargetKind kind, const std::string& label, double value) {
  if (std::isnan(value)) return 0;
  int level = 0;
  for (const Rule& rule : kRules) {
    if (rule.scope != kind || label != rule.column) continue;
    if (rule.condition == Condition::kAtLeast) {
      level = std::max(level, value >= rule.threshold ? 2 : value >= 0.8 * rule.threshold ? 1 : 0);
    } else if (rule.condition == Condition::kBelow) {
      level = std::max(level, value < rule.threshold ? 2 : value < 1.2 * rule.threshold ? 1 : 0);
    }
  }
  return level;
}

}  // namespace report
