// Folders and files beside the report on Windows: folders are created new or
// opened as themselves (FILE_FLAG_OPEN_REPARSE_POINT) and a reparse point is
// refused; files are created new after an old one of the name is deleted.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace platform {

namespace {

std::string without_final_separator(std::string path) {
  while (path.size() > 1 && (path.back() == '\\' || path.back() == '/')) path.pop_back();
  return path;
}

std::string quoted(const std::string& path) {
  return "\"" + path + "\"";
}

std::string windows_error(const std::string& what, const std::string& path, DWORD error) {
  return "cannot " + what + " " + quoted(path) + " (Windows error " + std::to_string(error) + ")";
}

// Empty when `path` is a folder of its own, not a link or junction.
std::string check_folder(const std::string& path) {
  HANDLE handle = CreateFileA(
      path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return windows_error("open", path, GetLastError());
  BY_HANDLE_FILE_INFORMATION info = {};
  std::string problem;
  if (!GetFileInformationByHandle(handle, &info)) {
    problem = windows_error("inspect", path, GetLastError());
  } else if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
    problem = quoted(path) + " is a link; kestrel does not write through links";
  } else if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    problem = quoted(path) + " is not a folder";
  }
  CloseHandle(handle);
  return problem;
}

}  // namespace

std::string create_new_private_folder(const std::string& path) {
  const std::string folder = without_final_separator(path);
  if (!CreateDirectoryA(folder.c_str(), nullptr)) {
    const DWORD error = GetLastError();
    if (error != ERROR_ALREADY_EXISTS) return windows_error("create", folder, error);
    const DWORD attributes = GetFileAttributesA(folder.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
      return quoted(folder) + " is a link; kestrel does not write through links";
    }
    return quoted(folder) +
           " already exists; kestrel makes this folder new and does not write into one that is "
           "there";
  }
  return check_folder(folder);
}

std::string open_private_folder(const std::string& path) {
  const std::string folder = without_final_separator(path);
  if (!CreateDirectoryA(folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
    return windows_error("create", folder, GetLastError());
  }
  return check_folder(folder);
}

std::string create_private_file(const std::string& folder, const std::string& name,
                                PrivateFile& file) {
  const std::string dir = without_final_separator(folder);
  if (name.empty() || name.find_first_of("\\/:") != std::string::npos || name == "." ||
      name == "..") {
    return quoted(name) + " is not a plain file name";
  }
  std::string problem = check_folder(dir);
  if (!problem.empty()) return problem;
  const std::string path = dir + "\\" + name;
  DeleteFileA(path.c_str());  // a link goes itself
  HANDLE handle = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) {
      return quoted(path) +
             " is in the way and cannot be replaced; kestrel does not write through links or "
             "into files it did not make";
    }
    return windows_error("create", path, error);
  }
  BY_HANDLE_FILE_INFORMATION info = {};
  if (!GetFileInformationByHandle(handle, &info) ||
      (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    CloseHandle(handle);
    return quoted(path) + " is a link; kestrel does not write through links";
  }
  file.native = reinterpret_cast<std::intptr_t>(handle);
  file.path = path;
  return "";
}

std::string write_private_file(PrivateFile& file, const char* data, std::size_t size) {
  HANDLE handle = reinterpret_cast<HANDLE>(file.native);
  while (size > 0) {
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 20));
    DWORD written = 0;
    if (!WriteFile(handle, data, chunk, &written, nullptr) || written == 0) {
      return windows_error("write", file.path, GetLastError());
    }
    data += written;
    size -= written;
  }
  return "";
}

std::string close_private_file(PrivateFile& file) {
  if (file.native == -1) return "";
  HANDLE handle = reinterpret_cast<HANDLE>(file.native);
  file.native = -1;
  if (!CloseHandle(handle)) return windows_error("write", file.path, GetLastError());
  return "";
}

void remove_private_file(const std::string& folder, const std::string& name) {
  DeleteFileA((without_final_separator(folder) + "\\" + name).c_str());
}

OutputCopy copy_command_output(const std::string& command_line, PrivateFile& file,
                               std::uint64_t cap, int timeout_ms) {
  OutputCopy copy;
  HANDLE read_end = nullptr;
  HANDLE write_end = nullptr;
  if (!CreatePipe(&read_end, &write_end, nullptr, 1 << 16)) {
    copy.failed = true;
    copy.error_code = static_cast<int>(GetLastError());
    return copy;
  }
  const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(write_end), _O_WRONLY | _O_BINARY);
  std::FILE* writer = fd < 0 ? nullptr : _fdopen(fd, "wb");
  if (writer == nullptr) {
    if (fd >= 0)
      _close(fd);
    else
      CloseHandle(write_end);
    CloseHandle(read_end);
    copy.failed = true;
    copy.error_code = ERROR_INVALID_HANDLE;
    return copy;
  }
  Child child;
  const bool started = start_child(command_line, child, copy.error_code, writer);
  std::fclose(writer);  // the child holds its own copy
  if (!started) {
    CloseHandle(read_end);
    copy.failed = true;
    return copy;
  }
  // Held while the child's own handle is, so its exit code can be read.
  HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE,
                               static_cast<DWORD>(child.pid));

  const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(std::max(timeout_ms, 0));
  std::vector<char> buffer(1 << 16);
  bool ended = false;
  while (!copy.capped && copy.write_error.empty()) {
    DWORD available = 0;
    if (!PeekNamedPipe(read_end, nullptr, 0, nullptr, &available, nullptr)) {
      ended = true;  // every writer has closed its end
      break;
    }
    if (available == 0) {
      if (GetTickCount64() >= deadline) {
        copy.timed_out = true;
        break;
      }
      Sleep(10);
      continue;
    }
    DWORD got = 0;
    const DWORD want = std::min<DWORD>(available, static_cast<DWORD>(buffer.size()));
    if (!ReadFile(read_end, buffer.data(), want, &got, nullptr) || got == 0) {
      ended = true;
      break;
    }
    const std::uint64_t take = std::min<std::uint64_t>(cap - copy.bytes, got);
    if (take > 0) {
      copy.write_error = write_private_file(file, buffer.data(), static_cast<std::size_t>(take));
    }
    if (!copy.write_error.empty()) break;
    copy.bytes += take;
    if (take < got) copy.capped = true;
  }
  CloseHandle(read_end);

  if (ended && process != nullptr) {
    const ULONGLONG now = GetTickCount64();
    const DWORD left = now >= deadline ? 0 : static_cast<DWORD>(deadline - now);
    DWORD exit_code = 0;
    if (WaitForSingleObject(process, left) != WAIT_OBJECT_0) {
      copy.timed_out = true;
    } else if (GetExitCodeProcess(process, &exit_code) && exit_code != 0) {
      copy.failed = true;
    }
  }
  if (!ended || copy.timed_out) kill_child_tree(child);
  wait_child(child, 1000);
  if (process != nullptr) CloseHandle(process);
  close_child(child);
  return copy;
}

}  // namespace platform
