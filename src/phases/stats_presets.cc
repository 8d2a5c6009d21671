#include "phases/stats_presets.h"

#include <fstream>

#include "core/messages.h"
#include "core/state.h"
#include "exec/outside_text.h"
#include "exec/query.h"
#include "exec/reply_lines.h"
#include "exec/runner.h"
#include "exec/slow_log.h"
#include "exec/temp_dir.h"
#include "exec/wrappers.h"
#include "platform/platform.h"

namespace phases {

namespace {

void print_preset_header(const PresetHeader& header, const std::string& object, std::FILE* out) {
  std::fprintf(out, "\nKESTREL_EPOCH: %lld\n", static_cast<long long>(header.stop_epoch));
  std::fprintf(out, "\n=-=-=-=-=-= PERF %s POSTSTATS =-=-=-=-=-= stats stop -I %s\n",
               header.filer_name.c_str(), preset_name(object).c_str());
  std::fprintf(out, "TIME: %s\n", header.stop_text.c_str());
  std::fprintf(out, "TIME_DELTA: %02d:%02d (%ds)\n", header.seconds / 60, header.seconds % 60,
               header.seconds);
}

std::vector<std::string> split_fields(const std::string& text, char separator) {
  std::vector<std::string> fields;
  size_t start = 0;
  while (true) {
    size_t at = text.find(separator, start);
    fields.push_back(text.substr(start, at - start));
    if (at == std::string::npos) return fields;
    start = at + 1;
  }
}

// The instance name behind `verb` in a command line: at most 31 characters,
// up to the first white space. Empty when the verb is absent.
std::string instance_after(const std::string& command_line, const std::string& verb) {
  size_t at = command_line.find(verb);
  if (at == std::string::npos) return "";
  std::string name = command_line.substr(at + verb.size(), 31);
  size_t space = name.find_first_of(" \t\r\n");
  return space == std::string::npos ? name : name.substr(0, space);
}

}  // namespace

std::string preset_name(const std::string& object) {
  if (object == "nfsv3") return "kestrel_nfs";
  if (object == "volume") return "kestrel_vol";
  return "kestrel_" + object;
}

bool split_stats_capture(std::istream& capture, const PresetHeader& header, std::FILE* out) {
  std::string object, instance, counter, announced;
  std::string text;
  bool cut = false;
  size_t sections = 0;
  bool over = false;  // more objects than sections allowed: the rest is dropped
  // A new section for `object`, unless the reply already had its share.
  auto announce = [&](const std::string& name) {
    if (over) return false;
    if (++sections > kMaxPresetSections) {
      over = true;
      std::fprintf(out, "WARNING: The reply held more than %zu objects; the rest was not printed\n",
                   kMaxPresetSections);
      return false;
    }
    print_preset_header(header, name, out);
    announced = name;
    return true;
  };
  while (exec::read_bounded_line(capture, text, cut)) {
    const std::string line = text + "\n";  // as read with its line end
    if (line.find('\t') != std::string::npos) {
      // Element of an array counter: "\tlabel:value".
      size_t begin = line.find_first_not_of('\t');
      std::string token = line.substr(begin, line.find('\t', begin) - begin);
      size_t colon = token.find(':');
      std::string label = token.substr(0, colon);
      std::string value;
      if (colon != std::string::npos) {
        value = token.substr(colon + 1);
        value = value.substr(0, value.find(':'));
      }
      size_t blank = value.find(' ');
      if (blank != std::string::npos) value = value.substr(blank + 1);
      if (value.empty() || value.back() != '\n') value += "\n";
      if (object != announced && !announce(object)) continue;
      exec::write_outside_line(out,
                               object + ":" + instance + ":" + counter + "." + label + ":" + value);
      continue;
    }
    std::string trimmed = text;
    if (!trimmed.empty() && trimmed.back() == '\r') trimmed.pop_back();
    if (!trimmed.empty() && trimmed.back() == ':') {
      // Array header "object:instance:counter:"; its elements follow.
      std::vector<std::string> fields = split_fields(trimmed, ':');
      object = fields[0];
      instance = fields.size() > 1 ? fields[1] : "";
      counter.clear();
      for (size_t i = 2; i + 1 < fields.size(); ++i) {
        counter += (counter.empty() ? "" : ":") + fields[i];
      }
      continue;
    }
    object = text.substr(0, text.find(':'));
    if (object != announced) {
      if (object == "StatisticsID" || text.find("=-=-=-=-=-=") != std::string::npos) continue;
      if (!announce(object)) continue;
    }
    exec::write_outside_line(out, line);
  }
  return over;
}

void stats_action(const core::Collection& collection, int action) {
  core::RunState& st = core::state();
  core::FilerTarget& filer = *collection.filer;
  if (action == kStatsStart) {
    filer.stats_id =
        core::format("kestrel_stats_%lld", static_cast<long long>(platform::now_epoch_seconds()));
    filer.stats_start = platform::now_epoch_seconds();
    exec::run_filer_command(collection, "stats start -I " + filer.stats_id);
    return;
  }
  if (action != kStatsStop) {
    if (!st.options.quiet)
      core::error_line(core::format("ERROR: Illegal stats action: %d", action));
    return;
  }

  const std::string capture =
      st.temp_dir + filer.name + platform::shell::path_separator() + "stats.out";
  if (exec::given_up(collection)) return;
  const std::int64_t started = platform::now_epoch_seconds();
  // Bounded by the command time-out, so a hung controller cannot stop the run.
  const std::string stop_line = exec::with_errors_logged(
      collection,
      collection.remote_command_line("stats stop -I " + filer.stats_id) + " > \"" + capture + "\"");
  const bool killed = exec::run_bounded(stop_line, capture);
  exec::log_command_errors(collection);
  if (killed) exec::give_up_if_interrupted(collection);
  filer.stats_stop = platform::now_epoch_seconds();
  filer.stats_stop_text = exec::gmt_timestamp();
  const int took = static_cast<int>(filer.stats_stop - started);
  if (took > 59) {
    exec::add_slow_command("stats stop -I " + filer.stats_id, filer.name, st.iteration, took);
  }

  std::ifstream in(capture);
  if (!in) {
    std::string message = "FATAL: Unable to open " + capture + " for reading!\n";
    exec::append_error_log(message);
    core::error_line(message.substr(0, message.size() - 1));
    core::exit_run(1);
  }
  PresetHeader header{filer.name, filer.stats_stop, filer.stats_stop_text,
                      static_cast<int>(filer.stats_stop - filer.stats_start)};
  if (split_stats_capture(in, header, collection.out)) {
    exec::append_error_log(core::format(
        "WARNING: The reply to \"stats stop -I %s\" of %s held more than %zu objects; the rest "
        "was not printed",
        filer.stats_id.c_str(), filer.name.c_str(), kMaxPresetSections));
  }
  exec::register_temp_file(collection, capture);
}

void stats_timing_hook(const core::Collection& collection, const std::string& command_line) {
  if (collection.filer == nullptr || !collection.services.legacy_stats) return;
  core::FilerTarget& filer = *collection.filer;
  std::string started = instance_after(command_line, "stats start -I ");
  if (command_line.find("stats start -I ") != std::string::npos) {
    filer.started_stats.push_back({started, platform::now_epoch_seconds()});
    std::fprintf(collection.out, "TIME: %s\n", exec::gmt_timestamp().c_str());
  }
  if (command_line.find("stats stop -I ") == std::string::npos) return;
  std::string stopped = instance_after(command_line, "stats stop -I ");
  std::int64_t now = platform::now_epoch_seconds();
  std::fprintf(collection.out, "TIME: %s\n", exec::gmt_timestamp().c_str());
  for (const core::StartedStats& entry : filer.started_stats) {
    if (entry.name != stopped) continue;
    int elapsed = static_cast<int>(now - entry.start);
    std::fprintf(collection.out, "TIME_DELTA: %d:%d (%ds)\n", elapsed / 60, elapsed % 60, elapsed);
    break;
  }
}

}  // namespace phases
