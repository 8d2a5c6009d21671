// Counters that live between invocations: stats instances, statit and
// mem_stats, plus the sampling "stats show".
#include <cmath>

#include "controller/sim/output.h"
#include "controller/sim/readings.h"
#include "controller/sim/replies.h"
#include "controller/sim/store.h"
#include "controller/sim/text.h"
#include "controller/sim/workload_clock.h"
#include "platform/platform.h"

namespace ctlsim {

namespace {

// A statistics object: where its instances come from and its counters. A
// counter written "name unit" prints its unit after the value; the unit "%"
// makes it a percentage, "ms" and "us" a latency and a unit ending in "/s" a
// rate (none of them grows with time), "epoch" the current time. What each
// counter follows of the workload is in readings.h.
struct StatsObject {
  const char* name;
  const char* instances;  // comma list, or $processors, $volumes, $ifnets
  std::vector<const char*> counters;
  const char* array_counter;  // empty: none
  std::vector<const char*> labels;
};

const std::vector<StatsObject>& objects() {
  static const std::vector<StatsObject> kObjects = {
      {"system",
       "system",
       {"nfs_ops", "cifs_ops", "fcp_ops", "iscsi_ops", "total_ops", "cpu_busy %",
        "net_data_recv KB/s", "net_data_sent KB/s", "disk_data_read KB/s", "disk_data_written KB/s",
        "time epoch"},
       "",
       {}},
      {"processor",
       "$processors",
       {"processor_busy %"},
       "domain_busy",
       {"idle", "network", "storage", "protocol", "fsys", "raid", "exempt", "target"}},
      {"volume",
       "$volumes",
       {"total_ops", "read_ops", "write_ops", "avg_latency us", "read_data b/s", "write_data b/s"},
       "",
       {}},
      {"aggregate", "aggr0", {"total_transfers", "user_reads", "user_writes", "cp_reads"}, "", {}},
      {"disk",
       "0a.16,0a.17,0a.18,0a.19,0a.20,0a.21",
       {"disk_busy %", "total_transfers", "user_read_blocks", "user_write_blocks", "io_errors"},
       "",
       {}},
      {"ifnet", "$ifnets", {"recv_packets", "send_packets", "recv_errors", "send_errors"}, "", {}},
      {"nfsv3",
       "nfs",
       {"nfsv3_ops", "nfsv3_read_ops", "nfsv3_write_ops", "nfsv3_avg_op_latency ms"},
       "nfsv3_op_count",
       {"null", "getattr", "setattr", "lookup", "access", "read", "write", "create", "remove"}},
      {"cifs", "cifs", {"cifs_ops", "cifs_latency ms", "cifs_read_ops", "cifs_write_ops"}, "", {}},
      {"fcp", "fcp", {"fcp_ops", "fcp_read_data b/s", "fcp_write_data b/s"}, "", {}},
      {"iscsi", "iscsi", {"iscsi_ops", "iscsi_read_data b/s", "iscsi_write_data b/s"}, "", {}},
      {"lun", "/vol/vol1/lun0,/vol/vol1/lun1", {"read_ops", "write_ops", "avg_latency ms"}, "", {}},
      {"target", "target0", {"read_ops", "write_ops", "queue_full"}, "", {}},
      {"fsys", "fsys", {"cp_count", "cp_phase_time ms"}, "", {}},
      {"nvram", "nvram", {"nvlog_writes", "nvlog_bytes"}, "", {}},
      {"readahead", "readahead", {"requested", "served", "seq_read_reqs"}, "", {}},
      {"lmem", "lmem", {"lmem_alloc", "lmem_free"}, "", {}},
      {"priorityqueue", "priorityqueue", {"queued", "dispatched"}, "", {}},
      {"prisched", "prisched", {"scheduled", "yields"}, "", {}},
      {"ext_cache", "ext_cache", {"hits", "misses", "inserts"}, "", {}},
      {"ext_cache_obj", "ext_cache_obj", {"hits", "misses", "inserts"}, "", {}},
      {"qtree", "vol0/q0,vol1/q1", {"nfs_ops", "cifs_ops"}, "", {}},
      {"farstash", "farstash", {"hits", "misses"}, "", {}},
  };
  return kObjects;
}

StatsObject object_named(const std::string& name) {
  for (const StatsObject& object : objects()) {
    if (name == object.name) return object;
  }
  return {"", "", {"ops", "latency ms"}, "", {}};
}

std::vector<std::string> instances_of(const Model& model, const StatsObject& object,
                                      const std::string& name) {
  std::string source = object.instances;
  std::vector<std::string> instances;
  if (source.empty()) {
    instances.push_back(name);
  } else if (source == "$processors") {
    for (int cpu = 0; cpu < model.processors; ++cpu)
      instances.push_back(format("processor%d", cpu));
  } else if (source == "$volumes") {
    instances = model.volumes;
  } else if (source == "$ifnets") {
    instances = {"e0a", "e0b"};
    instances.insert(instances.end(), model.vifs.begin(), model.vifs.end());
  } else {
    instances = split(source, ',');
  }
  return instances;
}

std::string counter_name(const std::string& counter) {
  return split_words(counter)[0];
}

// One instance of an object, and where it stands among the object's others.
struct Instance {
  const std::string& object;
  const std::string& name;
  size_t index;
  size_t count;
};

// The value per second (or the level, for a percentage or a latency) of one
// counter of `instance` under `load`.
double counter_level(const Model& model, const Instance& instance, const std::string& counter,
                     const Load& load) {
  CounterReading reading = counter_reading(instance.object, counter);
  int index = static_cast<int>(instance.index);
  if (instance.object == "processor" && counter == "processor_busy")
    return processor_busy(load, index, model.processors);
  if (instance.object == "disk" && counter == "disk_busy") return disk_busy(load, index);
  if (instance.object == "disk" && counter == "io_errors") return disk_errors(load, index);
  double value = followed(load, reading.follows) * reading.factor;
  if (instance.object == "ifnet") value /= static_cast<double>(instance.count);
  if (reading.follows == Follows::kActivity) {
    std::string seed = model.name + "/" + instance.object + ":" + instance.name + ":" + counter;
    value *= static_cast<double>(1 + stable_hash(seed) % 5000ull);
  }
  return value;
}

// A counter as printed: a percentage, a latency or a rate as the level, any
// other counter as its growth over `seconds`.
std::string counter_text(const Model& model, const Instance& instance, const std::string& counter,
                         const Load& load, long long seconds) {
  Words parts = split_words(counter);
  std::string unit = parts.size() > 1 ? parts[1] : "";
  if (unit == "epoch") return std::to_string(platform::now_epoch_seconds());
  double level = counter_level(model, instance, parts[0], load);
  if (unit == "%") return format("%lld%%", std::llround(level));
  if (unit == "ms" || unit == "us") return format("%.2f%s", level, unit.c_str());
  if (ends_with(unit, "/s")) return format("%lld%s", std::llround(level), unit.c_str());
  return format("%lld%s", std::llround(level * static_cast<double>(seconds)), unit.c_str());
}

// The elements of an array counter over `seconds`: the processors' busy time
// per domain in microseconds, or the NFS operations by kind.
std::vector<long long> array_values(const Model& model, const Instance& instance,
                                    const StatsObject& object, const Load& load,
                                    long long seconds) {
  std::vector<long long> values;
  double span = static_cast<double>(seconds);
  if (std::string(object.array_counter) == "domain_busy") {
    double busy = processor_busy(load, static_cast<int>(instance.index), model.processors);
    for (double share : domain_shares(load, busy))
      values.push_back(std::llround(share * span * 1e6));
    return values;
  }
  for (const char* label : object.labels) {
    double share = 1.0 / static_cast<double>(object.labels.size());
    for (const auto& entry : nfs_op_shares()) {
      if (std::string(entry.first) == label) share = entry.second;
    }
    values.push_back(std::llround(load.nfs * share * span));
  }
  return values;
}

// Prints an object's counters over `seconds` under the mean `load` in the
// form the splitter of the stop report reads: object:instance:counter:value
// lines, and array headers ending in ":" followed by TAB-indented
// label:value lines.
void print_object(const Model& model, const std::string& name, const Load& load,
                  long long seconds) {
  StatsObject object = object_named(name);
  std::vector<std::string> instances = instances_of(model, object, name);
  for (size_t i = 0; i < instances.size(); ++i) {
    Instance instance{name, instances[i], i, instances.size()};
    std::string base = name + ":" + instances[i] + ":";
    for (const char* counter : object.counters) {
      out(base + counter_name(counter) + ":" +
          counter_text(model, instance, counter, load, seconds) + "\n");
    }
    if (*object.array_counter == '\0') continue;
    out(base + object.array_counter + ":\n");
    std::vector<long long> values = array_values(model, instance, object, load, seconds);
    for (size_t l = 0; l < object.labels.size(); ++l)
      out(format("\t%s:%lld\n", object.labels[l], values[l]));
  }
}

// One sample of "stats show" for a target "object" or
// "object:instance:counter" (instance and counter may be "*"), over
// `seconds` under the mean `load`.
void show_target(const Model& model, const std::string& target, const Load& load,
                 long long seconds) {
  Words parts = split(target, ':');
  StatsObject object = object_named(parts[0]);
  std::string want_instance = parts.size() > 1 ? parts[1] : "*";
  std::string want_counter = parts.size() > 2 ? parts[2] : "*";
  std::vector<std::string> instances = instances_of(model, object, parts[0]);
  for (size_t i = 0; i < instances.size(); ++i) {
    if (want_instance != "*" && want_instance != instances[i]) continue;
    Instance instance{parts[0], instances[i], i, instances.size()};
    std::string base = parts[0] + ":" + instances[i] + ":";
    for (const char* counter : object.counters) {
      std::string name = counter_name(counter);
      if (want_counter != "*" && want_counter != name) continue;
      out(base + name + ":" + counter_text(model, instance, counter, load, seconds) + "\n");
    }
    if (*object.array_counter == '\0') continue;
    if (want_counter != "*" && want_counter != object.array_counter) continue;
    std::string values;
    for (long long value : array_values(model, instance, object, load, seconds)) {
      if (!values.empty()) values += ",";
      values += std::to_string(value);
    }
    out(base + object.array_counter + ":" + values + "\n");
  }
}

void stats_start(Session& session, const Words& words) {
  if (words.size() < 4 || words[2] != "-I") {
    err("usage: stats start -I <instance> [object ...]\n");
    return;
  }
  std::string value = std::to_string(platform::now_epoch_seconds());
  for (size_t i = 4; i < words.size(); ++i) value += " " + words[i];
  update_state(session.model->name,
               [&](ControllerState& state) { state_set(state, "stats." + words[3], value); });
}

void stats_stop(Session& session, const Words& words) {
  if (words.size() < 4 || words[2] != "-I") {
    err("usage: stats stop -I <instance>\n");
    return;
  }
  const Model& model = *session.model;
  std::string value;
  update_state(model.name, [&](ControllerState& state) {
    value = state_get(state, "stats." + words[3]);
    state_erase(state, "stats." + words[3]);
  });
  if (value.empty()) {
    out(format("Instance %s not found\n", words[3].c_str()));
    return;
  }
  Words started = split_words(value);
  long start = 0;
  parse_int(started[0], start);
  long long seconds = platform::now_epoch_seconds() - start;
  if (seconds < 1) seconds = 1;
  Load load = load_between(model, static_cast<double>(start), wall_seconds());
  out(format("StatisticsID: %s\n", words[3].c_str()));
  if (started.size() == 1) {
    for (const StatsObject& object : objects()) print_object(model, object.name, load, seconds);
  } else {
    for (size_t i = 1; i < started.size(); ++i) print_object(model, started[i], load, seconds);
  }
}

void stats_show(Session& session, const Words& words) {
  long interval = 0;
  long count = 0;
  Words targets;
  for (size_t i = 2; i < words.size(); ++i) {
    const std::string& word = words[i];
    if ((word == "-i" || word == "-n") && i + 1 < words.size()) {
      long value = 0;
      if (!parse_int(words[i + 1], value) || value < 1) {
        err(format("stats show: invalid value \"%s\" for %s\n", words[i + 1].c_str(),
                   word.c_str()));
        return;
      }
      (word == "-i" ? interval : count) = value;
      ++i;
    } else if (word == "-r" || word == "-c" || word == "-e") {
      continue;
    } else if (word[0] == '-') {
      err(format("stats show: unknown option %s\n", word.c_str()));
      return;
    } else {
      targets.push_back(word);
    }
  }
  if (targets.empty()) {
    for (const StatsObject& object : objects()) targets.push_back(object.name);
  }
  const Model& model = *session.model;
  if (interval == 0) {
    Load load = recent_load(model, 0);
    for (const std::string& target : targets) show_target(model, target, load, 1);
    return;
  }
  if (count == 0)
    count = static_cast<long>(hang_limit_seconds() / static_cast<double>(interval)) + 1;
  for (long sample = 1; sample <= count; ++sample) {
    pace(static_cast<double>(interval));
    // Each sample gives the mean of the interval it has just waited.
    Load load = recent_load(model, static_cast<double>(interval) * time_scale());
    for (const std::string& target : targets) show_target(model, target, load, interval);
  }
}

}  // namespace

void reply_stats(Session& session, const Words& words) {
  std::string verb = words.size() > 1 ? words[1] : "";
  if (verb == "start") {
    stats_start(session, words);
  } else if (verb == "stop") {
    stats_stop(session, words);
  } else if (verb == "show") {
    stats_show(session, words);
  } else if (verb == "list") {
    for (const StatsObject& object : objects()) out(std::string(object.name) + "\n");
  } else {
    err("usage: stats start|stop|show|list ...\n");
  }
}

void reply_statit(Session& session, const Words& words) {
  const Model& model = *session.model;
  std::string flag = words.size() > 1 ? words[1] : "";
  if (flag == "-b") {
    std::string now = std::to_string(platform::now_epoch_seconds());
    update_state(model.name, [&](ControllerState& state) { state_set(state, "statit", now); });
    return;
  }
  if (flag != "-e") {
    err("usage: statit -b | statit -e\n");
    return;
  }
  std::string begun;
  update_state(model.name, [&](ControllerState& state) {
    begun = state_get(state, "statit");
    state_erase(state, "statit");
  });
  long start = 0;
  if (!parse_int(begun, start)) {
    err("statit: no measurement in progress (statit -b first)\n");
    return;
  }
  double end_wall = wall_seconds();
  std::int64_t end = static_cast<std::int64_t>(end_wall);
  long long seconds = end - start < 1 ? 1 : end - start;
  Load load = load_between(model, static_cast<double>(start), end_wall);
  out(format("\nHostname: %s  ID: 0151%06llu  Memory: 8192 MB\n", model.name.c_str(),
             static_cast<unsigned long long>(stable_hash(model.name) % 1000000ull)));
  out(format("  %s\n", model.release.c_str()));
  out(format("    Start time: %s\n    End time:   %s  (%lld seconds)\n\n", gmt_text(start).c_str(),
             gmt_text(end).c_str(), seconds));
  out("                       CPU Statistics\n");
  out(format("    %10lld.000 time (seconds)         100 %%\n", seconds));
  // The share of the time each row takes, from the controller's CPU.
  const std::pair<const char*, double> cpu_rows[] = {{"system time", load.cpu / 100},
                                                     {"rupt time", load.cpu / 500},
                                                     {"non-rupt system time", load.cpu * 0.8 / 100},
                                                     {"idle time", 1 - load.cpu / 100}};
  for (const auto& row : cpu_rows) {
    out(format("    %14lld %-24s %3lld %%\n",
               std::llround(row.second * static_cast<double>(seconds)), row.first,
               std::llround(row.second * 100)));
  }
  out("\n                       Multiprocessor Statistics (per second)\n");
  out("                         ");
  for (int cpu = 0; cpu < model.processors; ++cpu) out(format("      cpu%d", cpu));
  out("      total\n");
  const char* mp_rows[] = {"sk switches", "hard switches", "domain switches", "interrupts"};
  for (const char* row : mp_rows) {
    out(format("%-25s", row));
    long long total = 0;
    for (int cpu = 0; cpu < model.processors; ++cpu) {
      // A processor switches and takes interrupts as often as it is busy.
      double busy = processor_busy(load, cpu, model.processors) / 100;
      double rate =
          static_cast<double>(1 + stable_hash(model.name + row + std::to_string(cpu)) % 5000ull);
      long long value = std::llround(rate * (0.1 + 2 * busy));
      total += value;
      out(format(" %9lld", value));
    }
    out(format(" %10lld\n", total));
  }
  out("\n                       Disk Statistics (per second)\n");
  out("disk             ut%  xfers  ureads--chain-usecs writes--chain-usecs\n");
  out("/aggr0/plex0/rg0:\n");
  for (int disk = 0; disk < kDisks; ++disk) {
    // Each disk takes its part of the transfers (32 KB each); a failing one
    // answers slowly.
    double reads = load.disk_read / 32 / kDisks;
    double writes = load.disk_write / 32 / kDisks;
    double slow = disk_errors(load, disk) > 0 ? 4 : 1;
    out(format("0a.%-13d %3lld %6lld %7lld   1.00  %5lld %6lld   1.00  %5lld\n", 16 + disk,
               std::llround(disk_busy(load, disk)), std::llround(reads + writes),
               std::llround(reads), std::llround(load.latency_ms * 600 * slow),
               std::llround(writes), std::llround(load.latency_ms * 400 * slow)));
  }
}

void reply_mem_stats(Session& session, const Words& words) {
  const Model& model = *session.model;
  std::string flag = words.size() > 1 ? words[1] : "";
  const char* pools[] = {"buf_cache", "nvlog", "sk_heap", "net_bufs", "raid_stripes"};
  if (flag == "-b") {
    std::string now = std::to_string(platform::now_epoch_seconds());
    update_state(model.name, [&](ControllerState& state) { state_set(state, "mem_stats", now); });
    out("mem_stats: baseline recorded\n");
    return;
  }
  if (flag == "-e") {
    std::string begun;
    update_state(model.name, [&](ControllerState& state) {
      begun = state_get(state, "mem_stats");
      state_erase(state, "mem_stats");
    });
    long start = 0;
    if (!parse_int(begun, start)) {
      err("mem_stats: no baseline (mem_stats -b first)\n");
      return;
    }
    long long seconds = platform::now_epoch_seconds() - start;
    out(format("mem_stats: changes over %lld seconds\n", seconds));
    out("pool                 allocs      frees\n");
    for (const char* pool : pools) {
      out(format("%-16s %10lld %10lld\n", pool, counter_value(model.name + pool + "a", seconds),
                 counter_value(model.name + pool + "f", seconds)));
    }
    return;
  }
  if (!flag.empty()) {
    err("usage: mem_stats [-b | -e]\n");
    return;
  }
  out("pool               size_kb    used_kb\n");
  for (const char* pool : pools) {
    long long size = counter_value(model.name + pool, 64);
    out(format("%-16s %10lld %10lld\n", pool, size, size * percent_value(model.name + pool) / 100));
  }
}

}  // namespace ctlsim
