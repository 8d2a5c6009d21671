// Machine-wide process operations: ending processes by image name and ending
// the run's own process tree.
#include <windows.h>
// psapi.h needs the types of windows.h.
#include <psapi.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/win32/process_tree.h"

namespace platform {
namespace {

// Query-information, read-memory and terminate rights.
constexpr DWORD kInspectAndTerminate =
    PROCESS_QUERY_INFORMATION | PROCESS_VM_READ | PROCESS_TERMINATE;

std::string image_base_name(HANDLE process) {
  HMODULE module = nullptr;
  DWORD needed = 0;
  if (!EnumProcessModules(process, &module, sizeof(module), &needed)) return "";
  std::vector<char> name(1024, '\0');
  DWORD length = GetModuleBaseNameA(process, module, name.data(), static_cast<DWORD>(name.size()));
  return std::string(name.data(), length);
}

}  // namespace

long kill_processes_by_name(const std::string& image_prefix) {
  // An empty prefix would match every process on the machine.
  if (image_prefix.empty()) return 0;
  std::vector<DWORD> pids(1024);
  DWORD bytes = 0;
  if (!EnumProcesses(pids.data(), static_cast<DWORD>(pids.size() * sizeof(DWORD)), &bytes) ||
      bytes < sizeof(DWORD)) {
    return 0;
  }
  pids.resize(bytes / sizeof(DWORD));

  long last_killed = 0;
  for (DWORD pid : pids) {
    HANDLE process = OpenProcess(kInspectAndTerminate, FALSE, pid);
    if (process == nullptr) continue;
    if (image_base_name(process).compare(0, image_prefix.size(), image_prefix) == 0) {
      last_killed = static_cast<long>(pid);
      TerminateProcess(process, 1);
    }
    CloseHandle(process);
  }
  return last_killed;
}

void kill_own_process_tree() {
  const DWORD self = GetCurrentProcessId();
  kill_registered_children();
  // Its lines reach the report, as for a child's tree.
  char command[64];
  std::snprintf(command, sizeof(command), "taskkill /PID %lu /T /F",
                static_cast<unsigned long>(self));
  run_shell(command);
  Sleep(500);  // let the termination land before deciding it failed

  // Still here: taskkill could not end the tree (no /T under Wine). End the
  // descendants natively, then the process itself.
  win32::terminate_descendants(self, win32::process_creation_time(GetCurrentProcess()));
  std::fflush(nullptr);
  TerminateProcess(GetCurrentProcess(), 0);
}

}  // namespace platform
