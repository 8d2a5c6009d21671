// Kernel profiles, kernel traces and the disk list. Profile dumps land in
// the tree's root as gmon files; trace dumps in the named file.
#include <cctype>
#include <filesystem>

#include "controller/sim/output.h"
#include "controller/sim/replies.h"
#include "controller/sim/store.h"
#include "controller/sim/text.h"
#include "platform/platform.h"

namespace fs = std::filesystem;

namespace ctlsim {

namespace {

const char* const kDefaultTraceDump = "/etc/log/sktrace_kestrel";

bool valid_buffer_size(const std::string& text) {
  if (text.size() < 2) return false;
  for (size_t i = 0; i + 1 < text.size(); ++i) {
    if (!std::isdigit(static_cast<unsigned char>(text[i]))) return false;
  }
  char unit = text.back();
  return unit == 'k' || unit == 'm' || unit == 'g';
}

// "SK 7 FSYS 4" as pairs; false when the list is not module/level pairs.
bool parse_points(const Words& words, size_t first,
                  std::vector<std::pair<std::string, long>>& points) {
  if (first >= words.size() || (words.size() - first) % 2 != 0) return false;
  for (size_t i = first; i < words.size(); i += 2) {
    long level = 0;
    if (!parse_int(words[i + 1], level) || level < 0 || level > 9) return false;
    points.emplace_back(words[i], level);
  }
  return true;
}

Words without(const Words& list, const std::string& word) {
  Words kept;
  for (size_t i = 0; i + 1 < list.size(); i += 2) {
    if (list[i] != word) {
      kept.push_back(list[i]);
      kept.push_back(list[i + 1]);
    }
  }
  return kept;
}

}  // namespace

void reply_prof(Session& session, const Words& words) {
  const Model& model = *session.model;
  std::string verb = words.size() > 1 ? words[1] : "";
  std::string now = std::to_string(platform::now_epoch_seconds());
  if (verb == "reset") {
    update_state(model.name, [](ControllerState& state) {
      state_erase(state, "prof.on");
      state_erase(state, "prof.data");
    });
    out("Profiling data reset.\n");
  } else if (verb == "on") {
    std::string domain = words.size() > 2 ? words[2] : "";
    update_state(model.name, [&](ControllerState& state) {
      state_set(state, "prof.on", domain.empty() ? "flat" : domain);
      state_set(state, "prof.data", domain.empty() ? "flat" : domain);
    });
    out(format("Profiling enabled (domain: %s).\n", domain.empty() ? "all" : domain.c_str()));
  } else if (verb == "off") {
    bool was_on = false;
    update_state(model.name, [&](ControllerState& state) {
      was_on = !state_get(state, "prof.on").empty();
      state_erase(state, "prof.on");
    });
    if (was_on) {
      out("Profiling disabled.\n");
    } else {
      err("prof off: profiling is not on\n");
    }
  } else if (verb == "dump") {
    std::string domain;
    long sequence = 0;
    update_state(model.name, [&](ControllerState& state) {
      domain = state_get(state, "prof.data");
      parse_int(state_get(state, "gmon.seq"), sequence);
      if (!domain.empty()) state_set(state, "gmon.seq", std::to_string(++sequence));
    });
    if (domain.empty()) {
      err("prof dump: no profile data (prof on first)\n");
      return;
    }
    std::string name = format("gmon.%ld.%s", sequence, domain.c_str());
    fs::path local;
    std::string content = format("gmon profile of %s, domain %s, dumped at %s\n",
                                 model.name.c_str(), domain.c_str(), now.c_str());
    for (int cpu = 0; cpu < model.processors; ++cpu) {
      for (const char* symbol : {"sk_dispatch", "fsys_read", "raid_io", "net_recv"}) {
        content += format("cpu%d %-14s %lld\n", cpu, symbol,
                          counter_value(name + symbol + std::to_string(cpu), 100));
      }
    }
    if (!tree_path(files_root(model), "/" + name, local) || !write_file(local, content)) {
      err(format("prof dump: cannot write /%s\n", name.c_str()));
      return;
    }
    out(format("Profile data written to /%s\n", name.c_str()));
  } else {
    err("usage: prof reset | prof on [domain] | prof off | prof dump\n");
  }
}

void reply_trace(Session& session, const Words& words) {
  const Model& model = *session.model;
  std::string verb = words.size() > 1 ? words[1] : "";
  ControllerState state = read_state(model.name);
  bool started = !state_get(state, "trace.since").empty();
  if (verb != "start" && !started) {
    err(format("trace %s: no trace started\n", verb.c_str()));
    return;
  }
  if (verb == "start") {
    std::string buffer = "40m";
    if (words.size() == 4 && words[2] == "-b") buffer = words[3];
    if ((words.size() != 2 && words.size() != 4) || !valid_buffer_size(buffer)) {
      err("usage: trace start [-b <size>k|m|g]\n");
      return;
    }
    std::string now = std::to_string(platform::now_epoch_seconds());
    update_state(model.name, [&](ControllerState& s) {
      state_set(s, "trace.since", now);
      state_set(s, "trace.buffer", buffer);
      state_set(s, "trace.points", "");
      state_set(s, "trace.seen", "");
    });
    out(format("Trace started, buffer %s.\n", buffer.c_str()));
  } else if (verb == "enable") {
    std::vector<std::pair<std::string, long>> points;
    if (!parse_points(words, 2, points)) {
      err("usage: trace enable <module> <level> [<module> <level> ...]\n");
      return;
    }
    update_state(model.name, [&](ControllerState& s) {
      Words enabled = split_words(state_get(s, "trace.points"));
      Words seen = split_words(state_get(s, "trace.seen"));
      for (const auto& point : points) {
        enabled = without(enabled, point.first);
        enabled.push_back(point.first);
        enabled.push_back(std::to_string(point.second));
        seen = without(seen, point.first);
        seen.push_back(point.first);
        seen.push_back(std::to_string(point.second));
      }
      state_set(s, "trace.points", join(enabled, " "));
      state_set(s, "trace.seen", join(seen, " "));
    });
    out(format("Trace points enabled: %s\n", join(words, " ", 2).c_str()));
  } else if (verb == "disable") {
    if (words.size() != 3) {
      err("usage: trace disable <module>\n");
      return;
    }
    bool was_enabled = false;
    update_state(model.name, [&](ControllerState& s) {
      Words enabled = split_words(state_get(s, "trace.points"));
      Words kept = without(enabled, words[2]);
      was_enabled = kept.size() != enabled.size();
      state_set(s, "trace.points", join(kept, " "));
    });
    if (was_enabled) {
      out(format("Trace points disabled: %s\n", words[2].c_str()));
    } else {
      err(format("trace disable: module %s is not enabled\n", words[2].c_str()));
    }
  } else if (verb == "dump") {
    std::string path = words.size() > 2 ? words[2] : kDefaultTraceDump;
    Words seen = split_words(state_get(state, "trace.seen"));
    std::string content =
        format("sktrace of %s since %s, buffer %s\n", model.name.c_str(),
               state_get(state, "trace.since").c_str(), state_get(state, "trace.buffer").c_str());
    for (size_t i = 0; i + 1 < seen.size(); i += 2) {
      for (int event = 0; event < 5; ++event) {
        content +=
            format("%s level %s event %d cycles %lld\n", seen[i].c_str(), seen[i + 1].c_str(),
                   event, counter_value(seen[i] + std::to_string(event), 1000));
      }
    }
    fs::path local;
    if (!tree_path(files_root(model), path, local) || !write_file(local, content)) {
      err(format("trace dump: cannot write %s\n", path.c_str()));
      return;
    }
    out(format("Trace dumped to %s\n", path.c_str()));
  } else if (verb == "stop") {
    update_state(model.name, [](ControllerState& s) {
      for (const char* key : {"trace.since", "trace.buffer", "trace.points", "trace.seen"}) {
        state_erase(s, key);
      }
    });
    out("Trace stopped.\n");
  } else {
    err("usage: trace start|enable|disable|dump|stop ...\n");
  }
}

void reply_disk_list(Session& session, const Words&) {
  const Model& model = *session.model;
  out("DEVICE   SHELF  BAY  CHAN  SIZE_MB   SERIAL      TYPE\n");
  for (int disk = 16; disk < 22; ++disk) {
    out(format("0a.%-5d %5d %4d  FC:A  %7d   3KS%06llu   FCAL\n", disk, 1, disk - 16, 136000,
               static_cast<unsigned long long>(stable_hash(model.name + std::to_string(disk)) %
                                               1000000ull)));
  }
}

}  // namespace ctlsim
