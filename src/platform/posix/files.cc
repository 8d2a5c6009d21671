// The private scratch folder on POSIX.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "platform/platform.h"

namespace platform {

namespace {

// Empty when `path` is absent or a real folder of ours; otherwise why not.
// `mode` receives the permission bits of an existing folder.
std::string refuse_foreign(const std::string& path, bool& exists, mode_t* mode = nullptr) {
  struct stat info {};
  exists = false;
  if (lstat(path.c_str(), &info) != 0) {
    if (errno == ENOENT) return "";
    return "cannot inspect \"" + path + "\": " + std::strerror(errno);
  }
  exists = true;
  if (S_ISLNK(info.st_mode)) return "\"" + path + "\" is a symbolic link";
  if (!S_ISDIR(info.st_mode)) return "\"" + path + "\" is not a folder";
  if (info.st_uid != geteuid()) return "\"" + path + "\" belongs to another user";
  if (mode != nullptr) *mode = info.st_mode & 07777;
  return "";
}

// Sets a folder of ours to mode 0700 through a descriptor, so that a link
// swapped in meanwhile is not followed.
std::string close_to_others(const std::string& path) {
  int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return "cannot open \"" + path + "\": " + std::strerror(errno);
  struct stat info {};
  std::string problem;
  if (fstat(fd, &info) != 0 || info.st_uid != geteuid()) {
    problem = "\"" + path + "\" belongs to another user";
  } else if (fchmod(fd, 0700) != 0) {
    problem = "cannot make \"" + path + "\" private: " + std::strerror(errno);
  }
  close(fd);
  return problem;
}

}  // namespace

std::string create_private_dir(const std::string& path) {
  std::filesystem::path target = std::filesystem::path(path);
  if (!target.has_filename()) target = target.parent_path();  // drop a final '/'
  std::filesystem::path parent = target.parent_path();

  // The parent ("<tmp>/kestrel-<uid>") is made private too; an existing one
  // must be ours, and is closed to others if it was not. The system folders
  // above it are taken as they are.
  bool parent_exists = false;
  std::string problem = refuse_foreign(parent.string(), parent_exists);
  if (!problem.empty()) return problem;
  if (!parent_exists && mkdir(parent.c_str(), 0700) != 0 && errno != EEXIST) {
    return "cannot create \"" + parent.string() + "\": " + std::strerror(errno);
  }
  mode_t parent_mode = 0;
  problem = refuse_foreign(parent.string(), parent_exists, &parent_mode);
  if (!problem.empty()) return problem;
  if ((parent_mode & 0077) != 0) {
    problem = close_to_others(parent.string());
    if (!problem.empty()) return problem;
  }

  bool exists = false;
  problem = refuse_foreign(target.string(), exists);
  if (!problem.empty()) return problem;
  if (exists) {
    std::error_code error;
    std::filesystem::remove_all(target, error);  // never follows links
    if (error) return "cannot remove \"" + target.string() + "\": " + error.message();
  }
  if (mkdir(target.c_str(), 0700) != 0) {
    return "cannot create \"" + target.string() + "\": " + std::strerror(errno);
  }
  return "";
}

}  // namespace platform

namespace platform {

bool write_bytes(std::FILE* out, const char* data, size_t size) {
  return std::fwrite(data, 1, size, out) == size;
}

bool append_line_to_file(const std::string& text, const std::string& path) {
  return append_lines_to_file({text}, path);
}

bool append_lines_to_file(const std::vector<std::string>& lines, const std::string& path) {
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  // The mode a shell's ">>" gives a new file, less the umask.
  const int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  ssize_t written;
  do {
    written = write(fd, text.data(), text.size());
  } while (written < 0 && errno == EINTR);
  const bool whole = written == static_cast<ssize_t>(text.size());
  return close(fd) == 0 && whole;
}

}  // namespace platform
