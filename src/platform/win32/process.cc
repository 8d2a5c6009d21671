// Child processes: started suspended, put into a job object of their own and
// then resumed, so that the whole tree a command starts can be ended at once
// even where taskkill cannot walk the tree.
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/platform.h"
#include "platform/win32/process_tree.h"

namespace platform {
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

// An inheritable copy of `handle` for a child's standard handles, or null.
HANDLE inheritable_copy(HANDLE handle) {
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return nullptr;
  HANDLE self = GetCurrentProcess();
  HANDLE copy = nullptr;
  if (!DuplicateHandle(self, handle, self, &copy, 0, TRUE, DUPLICATE_SAME_ACCESS)) return nullptr;
  return copy;
}

void close_if_open(HANDLE handle) {
  if (handle != nullptr) CloseHandle(handle);
}

}  // namespace

void prepare_process() {}

void ignore_broken_pipe() {}

int run_shell(const std::string& command_line, std::FILE* out) {
  std::fflush(nullptr);
  if (out == nullptr) return std::system(command_line.c_str());

  // std::system cannot be given a standard output: the interpreter is started
  // like any child, with `out` as its output.
  Child child;
  int error_code = 0;
  if (!start_child(shell::interpreter(command_line), child, error_code, out)) {
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

bool start_child(const std::string& command_line, Child& child, int& error_code, std::FILE* out) {
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  // With `out`: the child's standard output is its file, standard input and
  // error stay the run's. The copies are inherited, then closed here.
  HANDLE std_handles[3] = {nullptr, nullptr, nullptr};
  if (out != nullptr) {
    // A stream without a descriptor (_fileno -1) must not reach
    // _get_osfhandle, whose invalid-parameter handler may end the run.
    const int fd = _fileno(out);
    HANDLE file = fd < 0 ? INVALID_HANDLE_VALUE : reinterpret_cast<HANDLE>(_get_osfhandle(fd));
    std_handles[1] = inheritable_copy(file);
    if (std_handles[1] == nullptr) {
      error_code = ERROR_INVALID_HANDLE;
      return false;
    }
    std_handles[0] = inheritable_copy(GetStdHandle(STD_INPUT_HANDLE));
    std_handles[2] = inheritable_copy(GetStdHandle(STD_ERROR_HANDLE));
    startup.dwFlags |= STARTF_USESTDHANDLES;
    startup.hStdInput = std_handles[0];
    startup.hStdOutput = std_handles[1];
    startup.hStdError = std_handles[2];
    std::fflush(nullptr);  // what was written to `out` comes first
  }

  PROCESS_INFORMATION info = {};
  std::string writable = command_line;  // CreateProcessA may modify its buffer
  const BOOL created = CreateProcessA(nullptr, &writable[0], nullptr, nullptr, TRUE,
                                      CREATE_SUSPENDED, nullptr, nullptr, &startup, &info);
  const DWORD create_error = GetLastError();
  for (HANDLE handle : std_handles) close_if_open(handle);
  if (!created) {
    error_code = static_cast<int>(create_error);
    return false;
  }

  auto* handles = new ChildHandles;
  handles->process = info.hProcess;
  handles->thread = info.hThread;
  handles->created = win32::process_creation_time(info.hProcess);
  // Without the job (a surrounding job may forbid nesting) the tree is still
  // ended by taskkill or by walking the process list.
  handles->job = CreateJobObjectA(nullptr, nullptr);
  if (handles->job != nullptr && !AssignProcessToJobObject(handles->job, info.hProcess)) {
    CloseHandle(handles->job);
    handles->job = nullptr;
  }

  if (ResumeThread(info.hThread) == static_cast<DWORD>(-1)) {
    error_code = static_cast<int>(GetLastError());
    TerminateProcess(info.hProcess, 1);
    WaitForSingleObject(info.hProcess, 1000);
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
  // the same file as the killed command's text.
  char command[64];
  std::snprintf(command, sizeof(command), "taskkill /PID %ld /T /F", child.pid);
  run_shell(command, out);
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
  if (handles->job != nullptr) CloseHandle(handles->job);
  if (handles->thread != nullptr) CloseHandle(handles->thread);
  if (handles->process != nullptr) CloseHandle(handles->process);
  delete handles;
  child.native = nullptr;
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
