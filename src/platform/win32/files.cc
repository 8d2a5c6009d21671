// The run's scratch folder, created with any missing parents.
#include <windows.h>

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

}  // namespace

std::string create_private_dir(const std::string& path) {
  std::string folder = path;
  const std::size_t root = root_length(folder);
  while (folder.size() > root && is_separator(folder.back())) folder.pop_back();
  if (folder.size() <= root) return "The folder name \"" + path + "\" names no folder.";

  for (std::size_t i = root; i < folder.size(); ++i) {
    if (!is_separator(folder[i]) || is_separator(folder[i - 1])) continue;
    std::string failure = make_one(folder.substr(0, i));
    if (!failure.empty()) return failure;
  }
  std::string failure = make_one(folder);
  if (!failure.empty()) return failure;

  // A junction or link planted where the folder should be would send the
  // run's files elsewhere.
  DWORD attributes = GetFileAttributesA(folder.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return windows_error(folder, GetLastError());
  if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
    return "\"" + folder + "\" is a link, not a folder of its own.";
  }
  return "";
}

}  // namespace platform
