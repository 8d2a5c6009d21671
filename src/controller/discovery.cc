#include "controller/discovery.h"

#include "controller/reply_checks.h"
#include "core/messages.h"
#include "exec/query.h"

namespace controller {

namespace {

bool contains(const std::string& line, const char* word) {
  return line.find(word) != std::string::npos;
}

}  // namespace

std::vector<std::string> vzone_names(const std::vector<std::string>& reply) {
  std::vector<std::string> names;
  for (const std::string& line : reply) {
    if (contains(line, "not licensed") || contains(line, "zonepack license")) break;
    if (contains(line, "vzone0")) continue;
    std::vector<std::string> words = split_pieces(line, ' ');
    if (!words.empty()) names.push_back(words.front());
  }
  return names;
}

std::vector<std::string> vzone_root_paths(const std::vector<std::string>& reply,
                                          const std::string& first_name) {
  std::vector<std::string> paths;
  size_t at = 0;
  while (at < reply.size() && !contains(reply[at], first_name.c_str())) ++at;
  for (++at; at < reply.size(); ++at) {
    const std::string& line = reply[at];
    if (!contains(line, "Path: ") || !contains(line, "etc")) continue;
    std::vector<std::string> words = split_pieces(line, ' ');
    for (size_t word = 0; word + 1 < words.size(); ++word) {
      if (words[word] == "Path:") {
        paths.push_back(words[word + 1]);
        break;
      }
    }
  }
  return paths;
}

std::vector<core::VirtualController> pair_vzones(const std::string& filer_name,
                                                 const std::vector<std::string>& names,
                                                 const std::vector<std::string>& root_paths) {
  std::vector<core::VirtualController> vzones;
  for (size_t i = 0; i < names.size() && i < root_paths.size(); ++i) {
    if (!screen_reply_name(filer_name, ReplyName::kVirtualController, names[i]) ||
        !screen_reply_name(filer_name, ReplyName::kRootPath, root_paths[i])) {
      continue;
    }
    if (vzones.size() == kMaxVzones) {
      warn_once(core::format(
          "%s has more than %d virtual controllers; only the first %d are "
          "captured",
          filer_name.c_str(), static_cast<int>(kMaxVzones), static_cast<int>(kMaxVzones)));
      break;
    }
    vzones.push_back({names[i], root_paths[i]});
  }
  return vzones;
}

std::vector<std::string> vif_names(const std::string& filer_name,
                                   const std::vector<std::string>& reply) {
  std::vector<std::string> names;
  for (const std::string& line : reply) {
    if (!contains(line, "VIF Type") || contains(line, "default:")) continue;
    std::string name = line.substr(0, line.find(':'));
    if (!screen_reply_name(filer_name, ReplyName::kInterface, name)) continue;
    if (names.size() == kMaxVifs) {
      warn_once(
          core::format("%s has more than %d virtual interfaces; only the first %d are "
                       "sampled",
                       filer_name.c_str(), static_cast<int>(kMaxVifs), static_cast<int>(kMaxVifs)));
      break;
    }
    names.push_back(name);
  }
  return names;
}

void discover_vzones(const core::Collection& collection) {
  core::FilerTarget& filer = *collection.filer;
  core::debug_line("Locating vzones");
  filer.vzones.clear();
  std::vector<std::string> names =
      vzone_names(exec::capture_filer_query(collection, "vzone status"));
  for (const std::string& name : names) core::debug_line("VZONE", name);
  if (names.empty()) {
    core::debug_line("No vzone detected on " + filer.name);
    return;
  }
  std::vector<std::string> paths =
      vzone_root_paths(exec::capture_filer_query(collection, "vzone status -r"), names.front());
  for (const std::string& path : paths) core::debug_line("VZONE PATH", path);
  filer.vzones = pair_vzones(filer.name, names, paths);
}

void discover_vifs(const core::Collection& collection) {
  core::FilerTarget& filer = *collection.filer;
  core::debug_line("Locating vifs");
  filer.vifs = vif_names(filer.name, exec::capture_filer_query(collection, "vif status"));
  for (const std::string& name : filer.vifs) core::debug_line("VIF", name);
}

}  // namespace controller
