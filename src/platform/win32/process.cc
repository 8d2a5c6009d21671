// Child processes: one spawn routine for start_child and run_shell. Each
// child inherits exactly its own three standard handles (an explicit inherit
// list: the null device, its output file or the run's, the run's standard
// error) and nothing else the run holds, is started suspended, put into a job
// object of its own and then resumed, so that the whole tree a command starts
// can be ended at once even where taskkill cannot walk the tree. Every child
// is recorded in the registry of live children with its own copies of the
// process and job handles.
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/win32/process_tree.h"

namespace platform {

const int kChildRegistryClosed = ERROR_CANCELLED;

namespace {

struct ChildHandles {
  HANDLE process = nullptr;
  HANDLE thread = nullptr;
  HANDLE job = nullptr;  // null when the child could not be put into a job
  FILETIME created = {};
};

ChildHandles* handles_of(Child& child) {
  return static_cast<ChildHandles*>(child.native);
}

bool process_running(HANDLE process) {
  return WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
}

// True while any process of the job is alive; also when that cannot be read,
// so that the caller errs on the side of ending the job.
bool job_has_processes(HANDLE job) {
  JOBOBJECT_BASIC_ACCOUNTING_INFORMATION info = {};
  if (!QueryInformationJobObject(job, JobObjectBasicAccountingInformation, &info, sizeof(info),
                                 nullptr)) {
    return true;
  }
  return info.ActiveProcesses > 0;
}

bool usable(HANDLE handle) {
  return handle != nullptr && handle != INVALID_HANDLE_VALUE;
}

// A copy of `handle` in this process, inheritable or not; null on failure.
HANDLE copy_handle(HANDLE handle, BOOL inheritable) {
  if (!usable(handle)) return nullptr;
  HANDLE self = GetCurrentProcess();
  HANDLE copy = nullptr;
  if (!DuplicateHandle(self, handle, self, &copy, 0, inheritable, DUPLICATE_SAME_ACCESS)) {
    return nullptr;
  }
  return copy;
}

void close_if_open(HANDLE handle) {
  if (handle != nullptr) CloseHandle(handle);
}

// Ends a process and everything below it: the job at once, or the process
// list walked from it.
void terminate_tree(HANDLE process, HANDLE job, DWORD pid, const FILETIME& created) {
  if (job != nullptr) {
    TerminateJobObject(job, 1);
  } else {
    win32::terminate_descendants(pid, created);
    TerminateProcess(process, 1);
  }
}

// ---------------------------------------------------------------- registry

struct RegisteredChild {
  DWORD pid = 0;
  HANDLE process = nullptr;  // the registry's own copies
  HANDLE job = nullptr;
  FILETIME created = {};
  bool abandoned = false;
};

SRWLOCK registry_lock = SRWLOCK_INIT;
std::vector<RegisteredChild> registry;
bool registry_closed = false;

class RegistryGuard {
 public:
  RegistryGuard() { AcquireSRWLockExclusive(&registry_lock); }
  ~RegistryGuard() { ReleaseSRWLockExclusive(&registry_lock); }
  RegistryGuard(const RegistryGuard&) = delete;
  RegistryGuard& operator=(const RegistryGuard&) = delete;
};

// Under the lock.
void drop_entry(size_t index) {
  close_if_open(registry[index].process);
  close_if_open(registry[index].job);
  registry.erase(registry.begin() + static_cast<std::ptrdiff_t>(index));
}

// Under the lock: entries whose owner left them and that have ended.
void drop_ended_abandoned() {
  for (size_t i = registry.size(); i-- > 0;) {
    if (registry[i].abandoned && !process_running(registry[i].process)) drop_entry(i);
  }
}

// Under the lock.
void register_child(DWORD pid, const ChildHandles& handles) {
  RegisteredChild entry;
  entry.pid = pid;
  entry.process = copy_handle(handles.process, FALSE);
  entry.job = copy_handle(handles.job, FALSE);
  entry.created = handles.created;
  if (entry.process != nullptr) registry.push_back(entry);
}

// The child's entry goes when it has ended; otherwise it stays until then.
void unregister_child(DWORD pid) {
  RegistryGuard guard;
  for (size_t i = 0; i < registry.size(); ++i) {
    if (registry[i].pid != pid) continue;
    if (process_running(registry[i].process)) {
      registry[i].abandoned = true;
    } else {
      drop_entry(i);
    }
    return;
  }
}

// ---------------------------------------------------------------- spawn

// The one spawn routine. Standard output is `out`'s file, or the run's own
// without one. Everything the child inherits is listed for it alone, so
// two starts at once never hand each other their handles. Returns false with
// `error_code` set.
bool spawn(const std::string& command_line, Child& child, int& error_code, std::FILE* out) {
  HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
  if (out != nullptr) {
    // A stream without a descriptor (_fileno -1) must not reach
    // _get_osfhandle, whose invalid-parameter handler may end the run.
    const int fd = _fileno(out);
    output = fd < 0 ? INVALID_HANDLE_VALUE : reinterpret_cast<HANDLE>(_get_osfhandle(fd));
    if (!usable(output)) {
      error_code = ERROR_INVALID_HANDLE;
      return false;
    }
  }
  SECURITY_ATTRIBUTES inherited = {sizeof(inherited), nullptr, TRUE};
  HANDLE std_handles[3] = {
      CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherited,
                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr),
      copy_handle(output, TRUE),
      copy_handle(GetStdHandle(STD_ERROR_HANDLE), TRUE),
  };
  if (std_handles[0] == INVALID_HANDLE_VALUE) std_handles[0] = nullptr;
  if (out != nullptr && std_handles[1] == nullptr) {
    error_code = static_cast<int>(GetLastError());
    for (HANDLE handle : std_handles) close_if_open(handle);
    return false;
  }
  std::vector<HANDLE> inherit_list;
  for (HANDLE handle : std_handles) {
    if (handle != nullptr) inherit_list.push_back(handle);
  }

  STARTUPINFOEXA startup = {};
  startup.StartupInfo.cb = sizeof(startup);
  startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
  startup.StartupInfo.hStdInput = std_handles[0];
  startup.StartupInfo.hStdOutput = std_handles[1];
  startup.StartupInfo.hStdError = std_handles[2];
  SIZE_T list_size = 0;
  InitializeProcThreadAttributeList(nullptr, 1, 0, &list_size);
  std::vector<char> list_memory(list_size);
  auto* attributes = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(list_memory.data());
  bool listed = !inherit_list.empty() &&
                InitializeProcThreadAttributeList(attributes, 1, 0, &list_size) &&
                UpdateProcThreadAttribute(attributes, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST,
                                          inherit_list.data(), inherit_list.size() * sizeof(HANDLE),
                                          nullptr, nullptr);
  if (listed) startup.lpAttributeList = attributes;
  std::fflush(nullptr);  // what was written to `out` comes first

  PROCESS_INFORMATION info = {};
  std::string writable = command_line;  // CreateProcessA may modify its buffer
  auto* handles = new ChildHandles;
  {
    RegistryGuard guard;
    if (registry_closed) {
      error_code = kChildRegistryClosed;
    } else if (!CreateProcessA(nullptr, &writable[0], nullptr, nullptr, listed ? TRUE : FALSE,
                               CREATE_SUSPENDED | (listed ? EXTENDED_STARTUPINFO_PRESENT : 0),
                               nullptr, nullptr, &startup.StartupInfo, &info)) {
      error_code = static_cast<int>(GetLastError());
    } else {
      error_code = 0;
      handles->process = info.hProcess;
      handles->thread = info.hThread;
      handles->created = win32::process_creation_time(info.hProcess);
      // Without the job (a surrounding job may forbid nesting) the tree is
      // still ended by taskkill or by walking the process list.
      handles->job = CreateJobObjectA(nullptr, nullptr);
      if (handles->job != nullptr && !AssignProcessToJobObject(handles->job, info.hProcess)) {
        CloseHandle(handles->job);
        handles->job = nullptr;
      }
      drop_ended_abandoned();
      register_child(info.dwProcessId, *handles);
    }
  }
  if (listed) DeleteProcThreadAttributeList(attributes);
  for (HANDLE handle : std_handles) close_if_open(handle);
  if (error_code != 0) {
    delete handles;
    return false;
  }

  if (ResumeThread(info.hThread) == static_cast<DWORD>(-1)) {
    error_code = static_cast<int>(GetLastError());
    TerminateProcess(info.hProcess, 1);
    WaitForSingleObject(info.hProcess, 1000);
    unregister_child(info.dwProcessId);
    if (handles->job != nullptr) CloseHandle(handles->job);
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    delete handles;
    return false;
  }

  child.pid = static_cast<long>(info.dwProcessId);
  child.native = handles;
  return true;
}

}  // namespace

void prepare_process() {}

void ignore_broken_pipe() {}

int run_shell(const std::string& command_line, std::FILE* out) {
  // The interpreter is started like any child, so it inherits nothing but
  // its standard handles.
  Child child;
  int error_code = 0;
  if (!spawn(shell::interpreter(command_line), child, error_code, out)) {
    SetLastError(static_cast<DWORD>(error_code));
    return -1;
  }
  ChildHandles* handles = handles_of(child);
  DWORD exit_code = 0;
  const bool ended = WaitForSingleObject(handles->process, INFINITE) == WAIT_OBJECT_0 &&
                     GetExitCodeProcess(handles->process, &exit_code);
  close_child(child);
  return ended ? static_cast<int>(exit_code) : -1;
}

// A job object limits memory and time, not file sizes: the caller watches
// the files of a capped child itself.
bool start_child(const std::string& command_line, Child& child, int& error_code, std::FILE* out,
                 std::uint64_t /*file_cap*/) {
  return spawn(command_line, child, error_code, out);
}

bool child_file_cap_enforced() {
  return false;
}

WaitResult wait_child(Child& child, int timeout_ms) {
  ChildHandles* handles = handles_of(child);
  if (handles == nullptr) return WaitResult::kFailed;
  DWORD wait = timeout_ms < 0 ? INFINITE : static_cast<DWORD>(timeout_ms);
  switch (WaitForSingleObject(handles->process, wait)) {
    case WAIT_OBJECT_0:
      return WaitResult::kExited;
    case WAIT_TIMEOUT:
      return WaitResult::kTimedOut;
    default:
      return WaitResult::kFailed;
  }
}

bool child_running(Child& child) {
  ChildHandles* handles = handles_of(child);
  return handles != nullptr && process_running(handles->process);
}

bool kill_child_tree(Child& child, std::FILE* out) {
  ChildHandles* handles = handles_of(child);
  if (handles == nullptr) return true;

  // Its lines belong in the report, after "Killing process tree at PID", in
  // the same file as the killed command's text; without one, nowhere (never
  // the run's standard output, where they would land at a random place).
  char command[64];
  std::snprintf(command, sizeof(command), "taskkill /PID %ld /T /F", child.pid);
  std::FILE* discard = out == nullptr ? std::fopen("NUL", "wb") : nullptr;
  if (out != nullptr || discard != nullptr) run_shell(command, out != nullptr ? out : discard);
  if (discard != nullptr) std::fclose(discard);
  Sleep(500);

  // taskkill may have ended only the child (no /T under Wine) or nothing at
  // all: end whatever of the tree is left natively.
  if (handles->job != nullptr) {
    if (process_running(handles->process) || job_has_processes(handles->job)) {
      TerminateJobObject(handles->job, 1);
      WaitForSingleObject(handles->process, 2000);
    }
  } else {
    win32::terminate_descendants(static_cast<DWORD>(child.pid), handles->created);
    if (process_running(handles->process)) {
      TerminateProcess(handles->process, 1);
      WaitForSingleObject(handles->process, 2000);
    }
  }
  return !process_running(handles->process);
}

void close_child(Child& child) {
  ChildHandles* handles = handles_of(child);
  if (handles == nullptr) return;
  // The job is not set to kill on close: a finished command may leave work
  // behind on purpose (a launcher that hands over to another program).
  unregister_child(static_cast<DWORD>(child.pid));
  if (handles->job != nullptr) CloseHandle(handles->job);
  if (handles->thread != nullptr) CloseHandle(handles->thread);
  if (handles->process != nullptr) CloseHandle(handles->process);
  delete handles;
  child.native = nullptr;
}

void close_child_registry() {
  RegistryGuard guard;
  registry_closed = true;
}

void reopen_child_registry_for_cleanup() {
  RegistryGuard guard;
  registry_closed = false;
}

bool child_registry_open() {
  RegistryGuard guard;
  return !registry_closed;
}

int kill_registered_children() {
  RegistryGuard guard;
  int killed = 0;
  for (const RegisteredChild& entry : registry) {
    if (!process_running(entry.process) &&
        (entry.job == nullptr || !job_has_processes(entry.job))) {
      continue;
    }
    terminate_tree(entry.process, entry.job, entry.pid, entry.created);
    ++killed;
  }
  for (const RegisteredChild& entry : registry) WaitForSingleObject(entry.process, 2000);
  drop_ended_abandoned();
  return killed;
}

int last_error() {
  return static_cast<int>(GetLastError());
}

long current_process_id() {
  return static_cast<long>(GetCurrentProcessId());
}

void sleep_ms(int milliseconds) {
  Sleep(milliseconds < 0 ? 0 : static_cast<DWORD>(milliseconds));
}

}  // namespace platform
