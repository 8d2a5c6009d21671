// Child processes: started suspended, put into a job object of their own and
// then resumed, so that the whole tree a command starts can be ended at once
// even where taskkill cannot walk the tree.
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

}  // namespace

void prepare_process() {}

void ignore_broken_pipe() {}

int run_shell(const std::string& command_line) {
  std::fflush(nullptr);
  return std::system(command_line.c_str());
}

bool start_child(const std::string& command_line, Child& child, int& error_code) {
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info = {};
  std::string writable = command_line;  // CreateProcessA may modify its buffer
  if (!CreateProcessA(nullptr, &writable[0], nullptr, nullptr, TRUE, CREATE_SUSPENDED, nullptr,
                      nullptr, &startup, &info)) {
    error_code = static_cast<int>(GetLastError());
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

bool kill_child_tree(Child& child) {
  ChildHandles* handles = handles_of(child);
  if (handles == nullptr) return true;

  // Its lines belong in the report, after "Killing process tree at PID".
  char command[64];
  std::snprintf(command, sizeof(command), "taskkill /PID %ld /T /F", child.pid);
  run_shell(command);
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
