#include "controller/sim/model.h"

#include <cctype>
#include <filesystem>

#include "controller/sim/faults.h"
#include "controller/sim/store.h"
#include "controller/sim/text.h"
#include "platform/platform.h"

namespace fs = std::filesystem;

namespace ctlsim {

namespace {

std::vector<std::string> comma_list(const std::string& value) {
  std::vector<std::string> items;
  for (const std::string& piece : split(value, ',')) {
    std::string item = trim(piece);
    if (!item.empty()) items.push_back(item);
  }
  return items;
}

std::string normalise_command(const std::string& text) {
  return join(split_words(text), " ");
}

// Applies one key = value line; returns what is wrong or an empty string.
std::string apply_key(const std::string& key, const std::string& value, Model& model) {
  if (key == "release") {
    model.release = value;
  } else if (key == "help_style") {
    if (value != "statit" && value != "priv" && value != "none") {
      return "help_style must be statit, priv or none";
    }
    model.help_style = value;
  } else if (key == "password") {
    model.password = value;
  } else if (key == "licenses") {
    model.licenses = comma_list(value);
  } else if (key == "processors") {
    long count = 0;
    if (!parse_int(value, count) || count < 1 || count > 64) {
      return "processors must be a number from 1 to 64";
    }
    model.processors = static_cast<int>(count);
  } else if (key == "latency") {
    std::string problem = parse_latency(value, model.latency);
    if (!problem.empty()) return format("latency \"%s\": %s", value.c_str(), problem.c_str());
  } else if (key == "workload") {
    std::string problem = parse_workload(value, model.workload);
    if (!problem.empty()) return format("workload \"%s\": %s", value.c_str(), problem.c_str());
  } else if (key == "vzones") {
    model.vzones.clear();
    for (const std::string& item : comma_list(value)) {
      size_t colon = item.find(':');
      if (colon == std::string::npos || colon == 0 || item.compare(colon + 1, 1, "/") != 0 ||
          item.find_first_of(" \t") != std::string::npos) {
        return format("vzone \"%s\" is not NAME:/PATH", item.c_str());
      }
      model.vzones.push_back({item.substr(0, colon), item.substr(colon + 1)});
    }
  } else if (key == "vifs") {
    model.vifs = comma_list(value);
  } else if (key == "volumes") {
    model.volumes = comma_list(value);
  } else if (key == "options_vols") {
    model.options_vols.clear();
    for (const std::string& item : comma_list(value)) {
      size_t colon = item.find(':');
      std::string state = colon == std::string::npos ? "" : item.substr(colon + 1);
      if (colon == 0 || (state != "on" && state != "off")) {
        return format("options_vols entry \"%s\" is not VOLUME:on or VOLUME:off", item.c_str());
      }
      model.options_vols.push_back({item.substr(0, colon), state == "on"});
    }
  } else if (key == "fault" || starts_with(key, "fault:")) {
    CommandFault entry;
    entry.command = key == "fault" ? "" : normalise_command(key.substr(6));
    if (key != "fault" && entry.command.empty()) return "fault: needs a command after the colon";
    std::string problem = parse_fault(value, entry.fault);
    if (!problem.empty()) return problem;
    model.faults.push_back(entry);
  } else if (starts_with(key, "reply:")) {
    CannedReply reply{normalise_command(key.substr(6)), value};
    if (reply.command.empty() || reply.file.empty()) return "reply:COMMAND = FILE expected";
    model.replies.push_back(reply);
  } else {
    return format("unknown key \"%s\"", key.c_str());
  }
  return "";
}

}  // namespace

bool valid_controller_name(const std::string& name) {
  if (name.empty() || name[0] == '.' || name.size() > 255 ||
      name.find(".lock") != std::string::npos) {
    return false;
  }
  for (char c : name) {
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '.' && c != '-' && c != '_') {
      return false;
    }
  }
  return true;
}

std::string parse_model_conf(const std::string& text, Model& model) {
  int number = 0;
  for (const std::string& raw : split(text, '\n')) {
    ++number;
    std::string line = trim(raw);
    if (line.empty() || line[0] == '#') continue;
    size_t equals = line.find('=');
    if (equals == std::string::npos) return format("line %d: no \"=\"", number);
    std::string problem =
        apply_key(trim(line.substr(0, equals)), trim(line.substr(equals + 1)), model);
    if (!problem.empty()) return format("line %d: %s", number, problem.c_str());
  }
  return "";
}

ModelLookup find_model(const std::string& name, Model& model, std::string& error) {
  if (!valid_controller_name(name)) return ModelLookup::kMissing;
  auto home = platform::get_env("CTLSIM_HOME");
  if (home && !home->empty()) {
    fs::path folder = fs::path(*home) / "models" / name;
    fs::path conf = folder / "model.conf";
    std::error_code ec;
    if (fs::is_regular_file(conf, ec)) {
      std::string text;
      if (!read_file(conf, text)) {
        error = format("cannot read %s", conf.string().c_str());
        return ModelLookup::kBroken;
      }
      builtin_model("sim1", model);
      model.name = name;
      model.folder = folder.string();
      std::string problem = parse_model_conf(text, model);
      if (!problem.empty()) {
        error = format("%s: %s", conf.string().c_str(), problem.c_str());
        return ModelLookup::kBroken;
      }
      if (fs::is_directory(folder / "files", ec)) model.files_folder = (folder / "files").string();
      return ModelLookup::kFound;
    }
  }
  return builtin_model(name, model) ? ModelLookup::kFound : ModelLookup::kMissing;
}

}  // namespace ctlsim
