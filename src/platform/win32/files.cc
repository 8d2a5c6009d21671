// The run's scratch folder, created with any missing parents.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <string>

#include "platform/platform.h"

namespace platform {
namespace {

bool is_separator(char c) {
  return c == '\\' || c == '/';
}

// Length of the part of `path` that names a drive or share rather than a
// folder: "C:", "C:\", "\", "\\server\share\". Those are never created.
std::size_t root_length(const std::string& path) {
  if (path.size() >= 2 && path[1] == ':') return path.size() > 2 && is_separator(path[2]) ? 3 : 2;
  if (path.size() >= 2 && is_separator(path[0]) && is_separator(path[1])) {
    std::size_t end = 2;
    for (int parts = 0; parts < 2 && end < path.size(); ++parts) {
      while (end < path.size() && !is_separator(path[end])) ++end;
      if (end < path.size()) ++end;
    }
    return end;
  }
  return !path.empty() && is_separator(path[0]) ? 1 : 0;
}

std::string windows_error(const std::string& folder, DWORD error) {
  return "Cannot create folder \"" + folder + "\" (Windows error " + std::to_string(error) + ").";
}

// Creates one folder; an existing folder is fine, an existing file is not.
std::string make_one(const std::string& folder) {
  if (CreateDirectoryA(folder.c_str(), nullptr)) return "";
  DWORD error = GetLastError();
  DWORD attributes = GetFileAttributesA(folder.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return windows_error(folder, error);
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    return "\"" + folder + "\" exists and is not a folder.";
  }
  return "";
}

// A junction or link where a folder of the run should be would send the
// run's files, or its clean-up, elsewhere. Empty when `folder` is absent or a
// plain folder; `exists` tells which.
std::string refuse_link(const std::string& folder, bool& exists) {
  exists = false;
  DWORD attributes = GetFileAttributesA(folder.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return "";
    return windows_error(folder, error);
  }
  exists = true;
  if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
    return "\"" + folder + "\" is a link, not a folder of its own.";
  }
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    return "\"" + folder + "\" exists and is not a folder.";
  }
  return "";
}

// Deletes a folder with everything in it. Links inside are removed
// themselves, never followed. Returns 0 or the first Windows error.
DWORD remove_tree(const std::string& folder) {
  WIN32_FIND_DATAA entry = {};
  HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &entry);
  if (find == INVALID_HANDLE_VALUE) return GetLastError();
  DWORD failure = 0;
  do {
    const std::string name = entry.cFileName;
    if (name == "." || name == "..") continue;
    const std::string item = folder + "\\" + name;
    const DWORD attributes = entry.dwFileAttributes;
    if (attributes & FILE_ATTRIBUTE_READONLY) {
      SetFileAttributesA(item.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
    }
    DWORD error = 0;
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
      error = remove_tree(item);
    } else if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
      if (!RemoveDirectoryA(item.c_str())) error = GetLastError();
    } else if (!DeleteFileA(item.c_str())) {
      error = GetLastError();
    }
    if (failure == 0) failure = error;
  } while (FindNextFileA(find, &entry));
  FindClose(find);
  if (!RemoveDirectoryA(folder.c_str()) && failure == 0) failure = GetLastError();
  return failure;
}

}  // namespace

std::string create_private_dir(const std::string& path) {
  std::string folder = path;
  const std::size_t root = root_length(folder);
  while (folder.size() > root && is_separator(folder.back())) folder.pop_back();
  if (folder.size() <= root) return "The folder name \"" + path + "\" names no folder.";

  // A leftover of an earlier process with the same id (Wine reuses ids all
  // the time) goes first, with its old files.
  bool exists = false;
  std::string failure = refuse_link(folder, exists);
  if (!failure.empty()) return failure;
  if (exists) {
    DWORD error = remove_tree(folder);
    if (error != 0) {
      return "Cannot remove the old folder \"" + folder + "\" (Windows error " +
             std::to_string(error) + ").";
    }
  }

  std::size_t parent_end = root;
  for (std::size_t i = root; i < folder.size(); ++i) {
    if (!is_separator(folder[i]) || is_separator(folder[i - 1])) continue;
    failure = make_one(folder.substr(0, i));
    if (!failure.empty()) return failure;
    parent_end = i;
  }
  if (parent_end > root) {
    failure = refuse_link(folder.substr(0, parent_end), exists);
    if (!failure.empty()) return failure;
  }
  failure = make_one(folder);
  if (!failure.empty()) return failure;
  return refuse_link(folder, exists);
}

}  // namespace platform

namespace platform {

bool write_bytes(std::FILE* out, const char* data, size_t size) {
  // Binary for the one write, so "\r\n" is not made "\r\r\n"; the stream
  // keeps its own mode for kestrel's own lines.
  std::fflush(out);
  const int fd = _fileno(out);
  const int mode = _setmode(fd, _O_BINARY);
  const bool written = std::fwrite(data, 1, size, out) == size;
  std::fflush(out);
  if (mode != -1) _setmode(fd, mode);
  return written;
}

bool append_line_to_file(const std::string& text, const std::string& path) {
  return run_shell(shell::append_line(text, path)) == 0;
}

bool append_lines_to_file(const std::vector<std::string>& lines, const std::string& path) {
  bool whole = true;
  for (const std::string& line : lines) whole = append_line_to_file(line, path) && whole;
  return whole;
}

}  // namespace platform
