#include "platform/posix/proc_table.h"

#include <dirent.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace platform::posix {

bool parse_stat_line(const std::string& line, ProcessEntry& entry) {
  size_t open = line.find('(');
  size_t close = line.rfind(')');
  if (open == std::string::npos || close == std::string::npos || close < open) return false;
  char* end = nullptr;
  long pid = std::strtol(line.c_str(), &end, 10);
  if (pid <= 0 || end == line.c_str()) return false;

  // After ") ": state, parent, group, then 16 more fields up to the start time.
  std::istringstream fields(line.substr(close + 1));
  std::string state;
  long parent = 0;
  long group = 0;
  std::string skipped;
  unsigned long long start_time = 0;
  if (!(fields >> state >> parent >> group) || state.size() != 1) return false;
  for (int i = 0; i < 16; ++i) {
    if (!(fields >> skipped)) return false;
  }
  if (!(fields >> start_time)) return false;

  entry.pid = pid;
  entry.parent = parent;
  entry.group = group;
  entry.state = state[0];
  entry.start_time = start_time;
  return true;
}

bool read_process(long pid, ProcessEntry& entry) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  return std::getline(stat, line) && parse_stat_line(line, entry) && entry.pid == pid;
}

std::vector<ProcessEntry> read_process_table() {
  std::vector<ProcessEntry> table;
  DIR* proc = opendir("/proc");
  if (proc == nullptr) return table;
  while (dirent* item = readdir(proc)) {
    char* end = nullptr;
    long pid = std::strtol(item->d_name, &end, 10);
    if (pid <= 0 || *end != '\0') continue;
    ProcessEntry entry;
    if (read_process(pid, entry)) table.push_back(entry);
  }
  closedir(proc);
  return table;
}

namespace {

// The children of every thread of `pid`, as the kernel lists them.
bool read_children(long pid, std::vector<long>& children) {
  const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
  DIR* folder = opendir(tasks.c_str());
  if (folder == nullptr) return false;
  bool listed = false;
  while (dirent* item = readdir(folder)) {
    if (item->d_name[0] == '.') continue;
    std::ifstream list(tasks + "/" + item->d_name + "/children");
    if (!list) continue;
    listed = true;
    for (long child = 0; list >> child;) children.push_back(child);
  }
  closedir(folder);
  return listed;
}

}  // namespace

bool read_subtree(long root, std::vector<ProcessEntry>& entries) {
  std::vector<long> pending;
  if (!read_children(root, pending)) return false;
  for (size_t i = 0; i < pending.size(); ++i) {
    ProcessEntry entry;
    if (!read_process(pending[i], entry)) continue;  // gone meanwhile
    entries.push_back(entry);
    read_children(entry.pid, pending);
  }
  return true;
}

std::string image_name(long pid) {
  std::ifstream cmdline("/proc/" + std::to_string(pid) + "/cmdline");
  std::string argv0;
  std::getline(cmdline, argv0, '\0');
  size_t slash = argv0.rfind('/');
  return slash == std::string::npos ? argv0 : argv0.substr(slash + 1);
}

}  // namespace platform::posix
