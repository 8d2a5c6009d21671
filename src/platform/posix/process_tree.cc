#include "platform/posix/process_tree.h"

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <map>

#include "platform/platform.h"

namespace platform::posix {

namespace {

bool has_pid(const std::vector<ProcessEntry>& members, long pid) {
  return std::any_of(members.begin(), members.end(),
                     [pid](const ProcessEntry& m) { return m.pid == pid; });
}

bool is_halted(char state) {
  return state == 'T' || state == 't' || state == 'Z' || state == 'X';
}

// The same process as `member`, still there under its id.
bool same_process(const ProcessEntry& member, ProcessEntry& now) {
  return read_process(member.pid, now) && now.start_time == member.start_time;
}

// Adds to `members` every process of `table` below `root` or a member, or in
// `group`; stops each new one. Returns how many were added.
int grow_and_stop(const std::vector<ProcessEntry>& table, long root, long group, long self,
                  std::vector<ProcessEntry>& members) {
  std::multimap<long, const ProcessEntry*> by_parent;
  for (const ProcessEntry& entry : table) by_parent.emplace(entry.parent, &entry);

  int added = 0;
  auto add = [&](const ProcessEntry& entry) {
    if (entry.pid == self || entry.pid == root || has_pid(members, entry.pid)) return;
    members.push_back(entry);
    kill(static_cast<pid_t>(entry.pid), SIGSTOP);
    ++added;
  };
  if (group > 0) {
    for (const ProcessEntry& entry : table) {
      if (entry.group == group) add(entry);
    }
  }
  // Parent links, breadth first from the root and everything known so far.
  std::vector<long> pending = {root};
  for (const ProcessEntry& m : members) pending.push_back(m.pid);
  for (size_t i = 0; i < pending.size(); ++i) {
    auto range = by_parent.equal_range(pending[i]);
    for (auto it = range.first; it != range.second; ++it) {
      size_t before = members.size();
      add(*it->second);
      if (members.size() > before) pending.push_back(it->second->pid);
    }
  }
  return added;
}

// The processes below `root`: those the kernel lists as its descendants
// (a command's shell is a subreaper, so even a daemon stays below it), or
// the whole table where that list is missing. Reading only the tree keeps a
// kill cheap when hundreds of samplers end at once; group members that left
// the tree still get the group's kill.
std::vector<ProcessEntry> tree_table(long root) {
  std::vector<ProcessEntry> subtree;
  if (read_subtree(root, subtree)) return subtree;
  return read_process_table();
}

bool all_halted(const std::vector<ProcessEntry>& members) {
  for (const ProcessEntry& m : members) {
    ProcessEntry now;
    if (same_process(m, now) && !is_halted(now.state)) return false;
  }
  return true;
}

}  // namespace

std::vector<ProcessEntry> kill_tree(long root, long group, bool include_root) {
  const long self = static_cast<long>(getpid());
  std::vector<ProcessEntry> members;
  ProcessEntry root_entry;
  bool root_known = include_root && root != self && read_process(root, root_entry);
  if (root_known) kill(static_cast<pid_t>(root), SIGSTOP);

  // A stopped process starts nothing new, so a look at the table taken after
  // every member had halted, that finds no one else, sees the whole tree. (A
  // process halted only after the look may have started one just before.)
  // Zombies keep their parent links until reaped, so exits in between break
  // no chain. A process that does not stop (not ours, or stuck in the kernel)
  // ends the wait after a while.
  for (int round = 0; round < 500; ++round) {
    std::vector<ProcessEntry> watched = members;
    if (root_known) watched.push_back(root_entry);
    bool halted_before = all_halted(watched);
    int added = grow_and_stop(tree_table(root), root, group, self, members);
    if (added == 0 && halted_before) break;
    if (added == 0) sleep_ms(1);
  }

  if (group > 0) kill(-static_cast<pid_t>(group), SIGKILL);
  if (root_known) {
    kill(static_cast<pid_t>(root), SIGKILL);
    members.insert(members.begin(), root_entry);
  }
  for (const ProcessEntry& m : members) {
    ProcessEntry now;
    if (m.pid != root && same_process(m, now)) kill(static_cast<pid_t>(m.pid), SIGKILL);
  }
  return members;
}

bool any_running(const std::vector<ProcessEntry>& members) {
  for (const ProcessEntry& m : members) {
    ProcessEntry now;
    if (same_process(m, now) && now.state != 'Z' && now.state != 'X') return true;
  }
  return false;
}

}  // namespace platform::posix
