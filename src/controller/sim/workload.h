// What a simulated controller is busy with over time: a named workload gives,
// for every instant of the controller's clock, one set of levels (CPU, ops,
// network, disk, cache, consistency points, latency) that every sampler
// reads, so that they all tell the same story. Header only and free of the
// rest of the simulator, so that the unit tests can use it without linking
// ctlsim.
#pragma once

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace ctlsim {

enum class WorkloadKind {
  kSteady,
  kDiskBurst,
  kCpuSaturation,
  kBackToBackCp,
  kFailingDisk,
  kQuiet
};

struct Workload {
  WorkloadKind kind = WorkloadKind::kSteady;
  double start = 60;   // seconds from the controller's first contact
  double length = 30;  // seconds
};

// The levels of one instant, or their mean over a span.
struct Load {
  double cpu = 0;           // % busy, all processors together
  double nfs = 0;           // ops/s
  double cifs = 0;          // ops/s
  double http = 0;          // ops/s
  double fcp = 0;           // ops/s
  double iscsi = 0;         // ops/s
  double net_in = 0;        // KB/s
  double net_out = 0;       // KB/s
  double disk_read = 0;     // KB/s
  double disk_write = 0;    // KB/s
  double disk_util = 0;     // % busy, the busiest disk
  double cache_hit = 0;     // %
  double cp_time = 0;       // % of the time in consistency points
  double back_to_back = 0;  // share (0 to 1) of the time in back-to-back consistency points
  double latency_ms = 0;    // mean operation latency
  double disk_errors = 0;   // errors per second of the failing disk
};

namespace workload_detail {

struct Name {
  const char* text;
  WorkloadKind kind;
};

inline const std::vector<Name>& names() {
  static const std::vector<Name> kNames = {
      {"steady", WorkloadKind::kSteady},
      {"disk_burst", WorkloadKind::kDiskBurst},
      {"cpu_saturation", WorkloadKind::kCpuSaturation},
      {"back_to_back_cp", WorkloadKind::kBackToBackCp},
      {"failing_disk", WorkloadKind::kFailingDisk},
      {"quiet", WorkloadKind::kQuiet},
  };
  return kNames;
}

inline std::vector<std::string> words(const std::string& text) {
  std::vector<std::string> list;
  std::string word;
  for (char c : text + " ") {
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
      if (!word.empty()) list.push_back(word);
      word.clear();
    } else {
      word += c;
    }
  }
  return list;
}

// Whole seconds, or seconds with a fraction; nothing else.
inline bool parse_seconds(const std::string& text, double& value) {
  double number = 0;
  bool digits = false;
  size_t at = 0;
  for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) {
    number = number * 10 + (text[at] - '0');
    digits = true;
  }
  if (at < text.size() && text[at] == '.') {
    double place = 0.1;
    for (++at; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) {
      number += (text[at] - '0') * place;
      place /= 10;
    }
  }
  if (!digits || at != text.size() || number > 31536000) return false;
  value = number;
  return true;
}

// FNV-1a, as the other simulated counters use.
inline std::uint64_t hash(const std::string& text) {
  std::uint64_t value = 1469598103934665603ull;
  for (unsigned char c : text) {
    value ^= c;
    value *= 1099511628211ull;
  }
  return value;
}

// A number from -1 to 1 drawn for one quantity of one controller at one whole
// second of its clock.
inline double knot(const std::string& seed, const char* quantity, long long second) {
  std::uint64_t h = hash(seed + "/" + quantity + "/" + std::to_string(second));
  return static_cast<double>(h % 20001ull) / 10000.0 - 1.0;
}

// From -1 to 1: the knots joined by straight lines, so that rows taken less
// than a second apart (under CTLSIM_TIME_SCALE) still differ a little.
inline double jitter(const std::string& seed, const char* quantity, double t) {
  double floor = std::floor(t);
  long long second = static_cast<long long>(floor);
  double part = t - floor;
  return knot(seed, quantity, second) * (1 - part) + knot(seed, quantity, second + 1) * part;
}

// From 0 to 1 for a controller's seed.
inline double fraction(const std::string& seed, const char* what) {
  return static_cast<double>(hash(seed + "/" + what) % 10000ull) / 10000.0;
}

inline double clamp(double value, double low, double high) {
  return value < low ? low : value > high ? high : value;
}

// The slow swell of an ordinary day: from 0 to 1, a ten-minute wave with a
// shorter one on top, its phase fixed per controller.
inline double swell(const std::string& seed, double t) {
  const double kPi = 3.14159265358979323846;
  double phase = fraction(seed, "phase");
  double slow = std::sin(2 * kPi * (t / 600.0 + phase));
  double quick = std::sin(2 * kPi * (t / 97.0 + 2 * phase));
  return clamp(0.5 + 0.35 * slow + 0.15 * quick, 0, 1);
}

inline void steady(const std::string& seed, double t, Load& load) {
  double size = 0.8 + 0.45 * fraction(seed, "size");  // one controller busier than another
  double act = size * (0.55 + 0.45 * swell(seed, t));
  auto wobble = [&](const char* quantity, double share) {
    return 1 + share * jitter(seed, quantity, t);
  };
  load.nfs = 1800 * act * wobble("nfs", 0.08);
  load.cifs = 700 * act * wobble("cifs", 0.08);
  load.http = 20 * act * wobble("http", 0.3);
  load.fcp = 300 * act * wobble("fcp", 0.1);
  load.iscsi = 250 * act * wobble("iscsi", 0.1);
  load.net_in = 9000 * act * wobble("net_in", 0.1);
  load.net_out = 14000 * act * wobble("net_out", 0.1);
  load.disk_read = 12000 * act * wobble("disk_read", 0.12);
  load.disk_write = 9000 * act * wobble("disk_write", 0.15);
  load.cpu = 12 + 24 * act + 3 * jitter(seed, "cpu", t);
  load.disk_util = 8 + 20 * act + 3 * jitter(seed, "disk_util", t);
  load.cache_hit = 97 - 5 * act + jitter(seed, "cache_hit", t);
  load.cp_time = 10 + 18 * act + 4 * jitter(seed, "cp_time", t);
  load.latency_ms = 1.2 + 1.6 * act + 0.2 * jitter(seed, "latency", t);
}

inline void quiet(const std::string& seed, double t, Load& load) {
  double u = 0.5 + 0.5 * jitter(seed, "quiet", t);
  load.nfs = 3 * u;
  load.cifs = 1 * u;
  load.net_in = 4 + 4 * u;
  load.net_out = 3 + 4 * u;
  load.disk_read = 8 * u;
  load.disk_write = 16 + 8 * u;  // the timer's consistency points still write a little
  load.cpu = 1 + 1.5 * u;
  load.disk_util = 1 + u;
  load.cache_hit = 99 + u;
  load.cp_time = 1 + u;
  load.latency_ms = 0.3 + 0.2 * u;
}

// The named resource high during the window; the rest follows as it would.
inline void in_window(WorkloadKind kind, const std::string& seed, double t, Load& load) {
  double u = 0.5 + 0.5 * jitter(seed, "window", t);  // 0 to 1
  switch (kind) {
    case WorkloadKind::kDiskBurst:
      load.disk_read = 70000 + 20000 * u;
      load.disk_write = 45000 + 15000 * u;
      load.disk_util = 88 + 9 * u;
      load.cache_hit = 68 + 8 * u;  // the burst misses the cache
      load.cp_time = 55 + 15 * u;
      load.cpu = clamp(load.cpu + 18, 0, 75);
      load.latency_ms = 12 + 8 * u;
      break;
    case WorkloadKind::kCpuSaturation:
      load.cpu = 96.5 + 3.5 * u;
      load.nfs *= 2.2;
      load.cifs *= 2.2;
      load.fcp *= 1.8;
      load.iscsi *= 1.8;
      load.net_in *= 2.2;
      load.net_out *= 2.2;
      load.disk_util = clamp(load.disk_util + 15, 0, 60);
      load.latency_ms = 8 + 4 * u;
      break;
    case WorkloadKind::kBackToBackCp:
      load.cp_time = 97 + 3 * u;
      load.back_to_back = 1;
      load.disk_write = 60000 + 20000 * u;
      load.disk_util = 72 + 12 * u;
      load.cpu = clamp(load.cpu + 22, 0, 80);
      load.latency_ms = 25 + 15 * u;
      break;
    case WorkloadKind::kFailingDisk:
      load.latency_ms = 45 + 35 * u;
      load.disk_errors = 2 + 4 * u;
      load.disk_util = 100;  // the failing disk retries without pause
      load.disk_read *= 0.6;
      load.disk_write *= 0.6;
      load.nfs *= 0.7;
      load.cifs *= 0.7;
      load.fcp *= 0.7;
      load.iscsi *= 0.7;
      break;
    case WorkloadKind::kSteady:
    case WorkloadKind::kQuiet:
      break;
  }
}

inline void add(Load& sum, const Load& load, double weight) {
  sum.cpu += load.cpu * weight;
  sum.nfs += load.nfs * weight;
  sum.cifs += load.cifs * weight;
  sum.http += load.http * weight;
  sum.fcp += load.fcp * weight;
  sum.iscsi += load.iscsi * weight;
  sum.net_in += load.net_in * weight;
  sum.net_out += load.net_out * weight;
  sum.disk_read += load.disk_read * weight;
  sum.disk_write += load.disk_write * weight;
  sum.disk_util += load.disk_util * weight;
  sum.cache_hit += load.cache_hit * weight;
  sum.cp_time += load.cp_time * weight;
  sum.back_to_back += load.back_to_back * weight;
  sum.latency_ms += load.latency_ms * weight;
  sum.disk_errors += load.disk_errors * weight;
}

}  // namespace workload_detail

inline const char* workload_name(WorkloadKind kind) {
  for (const workload_detail::Name& name : workload_detail::names()) {
    if (name.kind == kind) return name.text;
  }
  return "steady";
}

// Parses "NAME [start=SECONDS] [length=SECONDS]". Returns an empty string, or
// what is wrong (then `workload` is left as it was).
inline std::string parse_workload(const std::string& text, Workload& workload) {
  std::vector<std::string> words = workload_detail::words(text);
  if (words.empty()) return "a workload name is needed";
  Workload parsed;
  bool known = false;
  for (const workload_detail::Name& name : workload_detail::names()) {
    if (words[0] == name.text) {
      parsed.kind = name.kind;
      known = true;
    }
  }
  if (!known) {
    return "unknown workload \"" + words[0] +
           "\" (steady, disk_burst, cpu_saturation, back_to_back_cp, failing_disk or quiet)";
  }
  for (size_t i = 1; i < words.size(); ++i) {
    size_t equals = words[i].find('=');
    std::string key = words[i].substr(0, equals);
    double value = 0;
    if (equals == std::string::npos ||
        !workload_detail::parse_seconds(words[i].substr(equals + 1), value)) {
      return "\"" + words[i] + "\" is not start=SECONDS or length=SECONDS";
    }
    if (key == "start") {
      parsed.start = value;
    } else if (key == "length") {
      parsed.length = value;
    } else {
      return "\"" + words[i] + "\" is not start=SECONDS or length=SECONDS";
    }
  }
  workload = parsed;
  return "";
}

// True when `t` (seconds of the controller's clock) falls in the workload's
// window: from start, for length seconds.
inline bool in_workload_window(const Workload& workload, double t) {
  return t >= workload.start && t < workload.start + workload.length;
}

// The levels at `t` seconds of the controller's clock; `seed` (the
// controller's name) sets its size, its phase and its jitter.
inline Load load_at(const Workload& workload, const std::string& seed, double t) {
  Load load;
  if (workload.kind == WorkloadKind::kQuiet) {
    workload_detail::quiet(seed, t, load);
    return load;
  }
  workload_detail::steady(seed, t, load);
  if (in_workload_window(workload, t)) workload_detail::in_window(workload.kind, seed, t, load);
  using workload_detail::clamp;
  load.cpu = clamp(load.cpu, 0, 100);
  load.disk_util = clamp(load.disk_util, 0, 100);
  load.cache_hit = clamp(load.cache_hit, 0, 100);
  load.cp_time = clamp(load.cp_time, 0, 100);
  return load;
}

// The mean levels over the span from `from` to `to` (seconds of the
// controller's clock), taken at most every quarter second.
inline Load load_over(const Workload& workload, const std::string& seed, double from, double to) {
  if (!(to > from)) return load_at(workload, seed, to);
  double span = to - from;
  int steps = static_cast<int>(std::ceil(span / 0.25));
  if (steps < 1) steps = 1;
  if (steps > 720) steps = 720;
  Load sum;
  for (int i = 0; i < steps; ++i) {
    double t = from + span * (i + 0.5) / steps;
    workload_detail::add(sum, load_at(workload, seed, t), 1.0 / steps);
  }
  return sum;
}

}  // namespace ctlsim
