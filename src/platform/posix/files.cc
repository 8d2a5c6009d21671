// The private scratch folder on POSIX.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "platform/platform.h"

namespace platform {

namespace {

// Empty when `path` is absent or a real folder of ours; otherwise why not.
std::string refuse_foreign(const std::string& path, bool& exists) {
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
  return "";
}

}  // namespace

std::string create_private_dir(const std::string& path) {
  std::filesystem::path target = std::filesystem::path(path);
  if (!target.has_filename()) target = target.parent_path();  // drop a final '/'
  std::filesystem::path parent = target.parent_path();

  // The parent ("<tmp>/kestrel") is made private too; an existing one must be
  // ours. The system folders above it are taken as they are.
  bool parent_exists = false;
  std::string problem = refuse_foreign(parent.string(), parent_exists);
  if (!problem.empty()) return problem;
  if (!parent_exists && mkdir(parent.c_str(), 0700) != 0 && errno != EEXIST) {
    return "cannot create \"" + parent.string() + "\": " + std::strerror(errno);
  }
  problem = refuse_foreign(parent.string(), parent_exists);
  if (!problem.empty()) return problem;

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
