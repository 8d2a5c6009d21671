#include "platform/win32/process_tree.h"

#include <tlhelp32.h>

#include <algorithm>
#include <vector>

namespace platform::win32 {
namespace {

struct ProcessEntry {
  DWORD pid;
  DWORD parent;
};

std::vector<ProcessEntry> snapshot_processes() {
  std::vector<ProcessEntry> entries;
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return entries;
  PROCESSENTRY32 entry = {};
  entry.dwSize = sizeof(entry);
  for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry)) {
    entries.push_back({entry.th32ProcessID, entry.th32ParentProcessID});
  }
  CloseHandle(snapshot);
  return entries;
}

bool contains(const std::vector<DWORD>& pids, DWORD pid) {
  return std::find(pids.begin(), pids.end(), pid) != pids.end();
}

// A process whose parent id names a member of the tree is only a member itself
// when it was not created before the root (the parent id may be a reused one).
bool created_after(HANDLE process, const FILETIME& root_created) {
  FILETIME created = process_creation_time(process);
  return CompareFileTime(&created, &root_created) >= 0;
}

}  // namespace

FILETIME process_creation_time(HANDLE process) {
  FILETIME created = {}, exited = {}, kernel = {}, user = {};
  if (!GetProcessTimes(process, &created, &exited, &kernel, &user)) return FILETIME{};
  return created;
}

int terminate_descendants(DWORD root_pid, const FILETIME& root_created) {
  const DWORD self = GetCurrentProcessId();
  // Every id known to belong to the tree, the root first; kept across rounds
  // so that orphans of already terminated parents are still recognised.
  std::vector<DWORD> tree = {root_pid};
  std::vector<DWORD> rejected;
  int terminated = 0;
  for (int round = 0; round < 5; ++round) {
    std::vector<ProcessEntry> entries = snapshot_processes();
    bool found = false;
    // Repeat over the snapshot until the tree stops growing; entries are not
    // ordered parent-first.
    for (bool grew = true; grew;) {
      grew = false;
      for (const ProcessEntry& entry : entries) {
        if (entry.pid == 0 || entry.pid == self || entry.pid == root_pid) continue;
        if (!contains(tree, entry.parent) || contains(tree, entry.pid) ||
            contains(rejected, entry.pid)) {
          continue;
        }
        HANDLE process =
            OpenProcess(PROCESS_TERMINATE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, entry.pid);
        if (process == nullptr) {
          rejected.push_back(entry.pid);
          continue;
        }
        if (!created_after(process, root_created)) {
          rejected.push_back(entry.pid);
          CloseHandle(process);
          continue;
        }
        tree.push_back(entry.pid);
        grew = true;
        found = true;
        if (TerminateProcess(process, 1)) ++terminated;
        CloseHandle(process);
      }
    }
    if (!found) break;
    Sleep(50);
  }
  return terminated;
}

}  // namespace platform::win32
