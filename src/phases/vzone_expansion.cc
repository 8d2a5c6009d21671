#include "phases/vzone_expansion.h"

#include <cstdio>

#include "core/messages.h"
#include "core/state.h"
#include "exec/temp_dir.h"
#include "exec/wrappers.h"

namespace phases {

namespace {

constexpr int kMaxCommandLength = 255;

void run_templates(const core::Collection& collection, const std::vector<std::string>& templates,
                   const core::VirtualController& vzone) {
  for (const std::string& text : templates) {
    std::string command = expand_template(text, vzone.name, vzone.root_path);
    if (command.size() > static_cast<size_t>(kMaxCommandLength)) {
      // Sent whole rather than cut: a cut path would name another file.
      std::string warning = core::format(
          "WARNING: Command for virtual controller %s is longer than %d characters: %s",
          vzone.name.c_str(), kMaxCommandLength, command.c_str());
      exec::append_error_log(warning);
      core::error_line(warning);
    }
    exec::run_filer_command(collection, command);
  }
}

}  // namespace

std::string expand_template(const std::string& text, const std::string& name,
                            const std::string& path) {
  static const std::string kName = "VZNAME";
  static const std::string kPath = "VZPATH";
  std::string result;
  size_t at = 0;
  while (at < text.size()) {
    if (text.compare(at, kName.size(), kName) == 0) {
      result += name;
      at += kName.size();
    } else if (text.compare(at, kPath.size(), kPath) == 0) {
      result += path;
      at += kPath.size();
    } else {
      result += text[at++];
    }
  }
  return result;
}

void expand_virtual_controllers(core::Collection& collection, const std::string& phase_word) {
  const core::FilerTarget& filer = *collection.filer;
  for (const core::VirtualController& vzone : filer.vzones) {
    const std::string title = filer.name + ":[VZ]:" + vzone.name;
    std::fprintf(collection.out, "=-=-=-=-=-= BEGIN %s =-=-=-=-=-= %s\n", phase_word.c_str(),
                 title.c_str());
    core::progress("VZone: " + vzone.name + "\n");
    collection.section = "CONFIG " + title + " " + phase_word;
    run_templates(collection, collection.vzone_config_templates, vzone);
    collection.section = "PERF " + title + " " + phase_word;
    run_templates(collection, collection.vzone_perf_templates, vzone);
    std::fprintf(collection.out, "=-=-=-=-=-= END %s =-=-=-=-=-= %s\n", phase_word.c_str(),
                 title.c_str());
  }
}

}  // namespace phases
