// Counters that live between invocations: stats instances, statit and
// mem_stats, plus the sampling "stats show".
#include "controller/sim/output.h"
#include "controller/sim/replies.h"
#include "controller/sim/store.h"
#include "controller/sim/text.h"
#include "platform/platform.h"

namespace ctlsim {

namespace {

// A statistics object: where its instances come from and its counters. A
// counter written "name unit" prints its unit after the value; the unit "%"
// makes it a percentage, "ms" and "us" a latency (neither grows with time),
// "epoch" the current time.
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
       {"disk_busy %", "total_transfers", "user_read_blocks", "user_write_blocks"},
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

std::string counter_text(const std::string& seed, const std::string& counter, long long seconds) {
  Words parts = split_words(counter);
  std::string unit = parts.size() > 1 ? parts[1] : "";
  if (unit == "epoch") return std::to_string(platform::now_epoch_seconds());
  if (unit == "%") return format("%d%%", percent_value(seed));
  if (unit == "ms" || unit == "us") {
    return format("%.2f%s", static_cast<double>(stable_hash(seed) % 2000ull) / 100.0, unit.c_str());
  }
  return std::to_string(counter_value(seed, seconds)) + unit;
}

std::string counter_name(const std::string& counter) {
  return split_words(counter)[0];
}

// Prints an object's counters over `seconds` in the form the splitter of the
// stop report reads: object:instance:counter:value lines, and array headers
// ending in ":" followed by TAB-indented label:value lines.
void print_object(const Model& model, const std::string& name, long long seconds) {
  StatsObject object = object_named(name);
  for (const std::string& instance : instances_of(model, object, name)) {
    std::string base = name + ":" + instance + ":";
    for (const char* counter : object.counters) {
      std::string seed = model.name + "/" + base + counter;
      out(base + counter_name(counter) + ":" + counter_text(seed, counter, seconds) + "\n");
    }
    if (*object.array_counter == '\0') continue;
    out(base + object.array_counter + ":\n");
    for (const char* label : object.labels) {
      std::string seed = model.name + "/" + base + object.array_counter + "." + label;
      out(format("\t%s:%lld\n", label, counter_value(seed, seconds)));
    }
  }
}

// One sample of "stats show" for a target "object" or
// "object:instance:counter" (instance and counter may be "*").
void show_target(const Model& model, const std::string& target, long long seconds, long sample) {
  Words parts = split(target, ':');
  StatsObject object = object_named(parts[0]);
  std::string want_instance = parts.size() > 1 ? parts[1] : "*";
  std::string want_counter = parts.size() > 2 ? parts[2] : "*";
  for (const std::string& instance : instances_of(model, object, parts[0])) {
    if (want_instance != "*" && want_instance != instance) continue;
    std::string base = parts[0] + ":" + instance + ":";
    std::string seed_base = model.name + "/" + base + std::to_string(sample) + "/";
    for (const char* counter : object.counters) {
      std::string name = counter_name(counter);
      if (want_counter != "*" && want_counter != name) continue;
      out(base + name + ":" + counter_text(seed_base + name, counter, seconds) + "\n");
    }
    if (*object.array_counter == '\0') continue;
    if (want_counter != "*" && want_counter != object.array_counter) continue;
    std::string values;
    for (const char* label : object.labels) {
      if (!values.empty()) values += ",";
      values += std::to_string(counter_value(seed_base + label, seconds));
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
  out(format("StatisticsID: %s\n", words[3].c_str()));
  if (started.size() == 1) {
    for (const StatsObject& object : objects()) print_object(model, object.name, seconds);
  } else {
    for (size_t i = 1; i < started.size(); ++i) print_object(model, started[i], seconds);
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
  if (interval == 0) {
    for (const std::string& target : targets) show_target(*session.model, target, 1, 0);
    return;
  }
  if (count == 0)
    count = static_cast<long>(hang_limit_seconds() / static_cast<double>(interval)) + 1;
  for (long sample = 1; sample <= count; ++sample) {
    pace(static_cast<double>(interval));
    for (const std::string& target : targets) {
      show_target(*session.model, target, interval, sample);
    }
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
  std::int64_t end = platform::now_epoch_seconds();
  long long seconds = end - start < 1 ? 1 : end - start;
  out(format("\nHostname: %s  ID: 0151%06llu  Memory: 8192 MB\n", model.name.c_str(),
             static_cast<unsigned long long>(stable_hash(model.name) % 1000000ull)));
  out(format("  %s\n", model.release.c_str()));
  out(format("    Start time: %s\n    End time:   %s  (%lld seconds)\n\n", gmt_text(start).c_str(),
             gmt_text(end).c_str(), seconds));
  out("                       CPU Statistics\n");
  out(format("    %10lld.000 time (seconds)         100 %%\n", seconds));
  const char* cpu_rows[] = {"system time", "rupt time", "non-rupt system time", "idle time"};
  for (const char* row : cpu_rows) {
    out(format("    %14d %-24s %3d %%\n", percent_value(model.name + row) * 10, row,
               percent_value(model.name + "%" + row)));
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
      long long value = counter_value(model.name + row + std::to_string(cpu), 1);
      total += value;
      out(format(" %9lld", value));
    }
    out(format(" %10lld\n", total));
  }
  out("\n                       Disk Statistics (per second)\n");
  out("disk             ut%  xfers  ureads--chain-usecs writes--chain-usecs\n");
  out("/aggr0/plex0/rg0:\n");
  for (int disk = 16; disk < 22; ++disk) {
    std::string seed = format("%s/statit/0a.%d", model.name.c_str(), disk);
    out(format("0a.%-13d %3d %6lld %7lld   1.00  %5lld %6lld   1.00  %5lld\n", disk,
               percent_value(seed), counter_value(seed + "x", 1), counter_value(seed + "r", 1),
               counter_value(seed + "ru", 1), counter_value(seed + "w", 1),
               counter_value(seed + "wu", 1)));
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
