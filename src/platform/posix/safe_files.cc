// Folders and files beside the report on POSIX: every folder is opened with
// O_NOFOLLOW and checked through its descriptor, every file is created
// exclusively through that descriptor, so a link planted at any of their
// names is never followed.
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace platform {

namespace {

std::string without_final_separator(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

std::string quoted(const std::string& path) {
  return "\"" + path + "\"";
}

// Why `path` could not be opened as a folder: a link is named as such.
std::string open_failure(const std::string& path, int error) {
  struct stat info {};
  if (lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode)) {
    return quoted(path) + " is a symbolic link; kestrel does not write through links";
  }
  if (error == ENOTDIR) return quoted(path) + " is not a folder";
  return "cannot open " + quoted(path) + ": " + std::strerror(error);
}

// True when the folder behind `fd` holds nothing but "." and "..".
bool folder_empty(int fd) {
  int copy = dup(fd);
  if (copy < 0) return false;
  DIR* dir = fdopendir(copy);
  if (dir == nullptr) {
    close(copy);
    return false;
  }
  bool empty = true;
  while (dirent* entry = readdir(dir)) {
    if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0) {
      empty = false;
      break;
    }
  }
  closedir(dir);
  return empty;
}

// Opens `path` as a folder without following a link and checks that it is
// the user's and closed to others. An empty folder open to others (just made
// under a wide umask) is closed with `may_close`; one with files in it is
// refused, since others may have put anything there. -1 with `problem`.
int open_checked_folder(const std::string& path, bool may_close, std::string& problem) {
  int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) {
    problem = open_failure(path, errno);
    return -1;
  }
  struct stat info {};
  if (fstat(fd, &info) != 0) {
    problem = "cannot inspect " + quoted(path) + ": " + std::strerror(errno);
  } else if (!S_ISDIR(info.st_mode)) {
    problem = quoted(path) + " is not a folder";
  } else if (info.st_uid != geteuid()) {
    problem = quoted(path) + " belongs to another user";
  } else if ((info.st_mode & 07777) != 0700) {
    if ((info.st_mode & 0022) != 0 && !(may_close && folder_empty(fd))) {
      problem = quoted(path) + " can be written by other users; make it private (chmod 700) or " +
                "remove it";
    } else if (fchmod(fd, 0700) != 0) {
      problem = "cannot make " + quoted(path) + " private: " + std::strerror(errno);
    }
  }
  if (!problem.empty()) {
    close(fd);
    return -1;
  }
  return fd;
}

std::int64_t now_ms() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// Waits until the child has ended or `deadline_ms` has passed, without
// reaping it, and tells its status. False at the deadline.
bool peek_exit_status(const Child& child, std::int64_t deadline_ms, int& status) {
  int step_ms = 1;
  for (;;) {
    siginfo_t info{};
    const int r = waitid(P_PID, static_cast<id_t>(child.pid), &info, WEXITED | WNOHANG | WNOWAIT);
    if (r == 0 && info.si_pid != 0) {
      status = info.si_code == CLD_EXITED ? info.si_status : 128 + info.si_status;
      return true;
    }
    if (r != 0 && errno != EINTR) {
      status = -1;  // already reaped: nothing more to learn
      return true;
    }
    if (now_ms() >= deadline_ms) return false;
    sleep_ms(step_ms);
    if (step_ms < 20) step_ms *= 2;
  }
}

}  // namespace

std::string create_new_private_folder(const std::string& path) {
  const std::string folder = without_final_separator(path);
  if (mkdir(folder.c_str(), 0700) != 0) {
    if (errno == EEXIST) {
      struct stat info {};
      if (lstat(folder.c_str(), &info) == 0 && S_ISLNK(info.st_mode)) {
        return quoted(folder) + " is a symbolic link; kestrel does not write through links";
      }
      return quoted(folder) + " already exists; kestrel makes this folder new and does not " +
             "write into one that is there";
    }
    return "cannot create " + quoted(folder) + ": " + std::strerror(errno);
  }
  std::string problem;
  int fd = open_checked_folder(folder, true, problem);
  if (fd >= 0) close(fd);
  return problem;
}

std::string open_private_folder(const std::string& path) {
  const std::string folder = without_final_separator(path);
  if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
    return "cannot create " + quoted(folder) + ": " + std::strerror(errno);
  }
  std::string problem;
  int fd = open_checked_folder(folder, true, problem);
  if (fd >= 0) close(fd);
  return problem;
}

std::string create_private_file(const std::string& folder, const std::string& name,
                                PrivateFile& file) {
  const std::string dir_path = without_final_separator(folder);
  const std::string path = dir_path + "/" + name;
  if (name.empty() || name.find('/') != std::string::npos || name == "." || name == "..") {
    return quoted(name) + " is not a plain file name";
  }
  std::string problem;
  int dir = open_checked_folder(dir_path, false, problem);
  if (dir < 0) return problem;
  // Whatever is there from before goes; a link goes itself.
  unlinkat(dir, name.c_str(), 0);
  int fd = openat(dir, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  const int open_error = errno;
  close(dir);
  if (fd < 0) {
    if (open_error == EEXIST) {
      return quoted(path) + " is in the way and cannot be replaced; kestrel does not write " +
             "through links or into files it did not make";
    }
    return "cannot create " + quoted(path) + ": " + std::strerror(open_error);
  }
  fchmod(fd, 0600);  // the umask may have taken the owner's bits
  file.native = fd;
  file.path = path;
  return "";
}

std::string write_private_file(PrivateFile& file, const char* data, std::size_t size) {
  const int fd = static_cast<int>(file.native);
  while (size > 0) {
    const ssize_t n = write(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      return "cannot write " + quoted(file.path) + ": " + std::strerror(n < 0 ? errno : ENOSPC);
    }
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return "";
}

std::string close_private_file(PrivateFile& file) {
  if (file.native < 0) return "";
  const int fd = static_cast<int>(file.native);
  file.native = -1;
  if (close(fd) != 0 && errno != EINTR) {
    return "cannot write " + quoted(file.path) + ": " + std::strerror(errno);
  }
  return "";
}

void remove_private_file(const std::string& folder, const std::string& name) {
  int dir = open(without_final_separator(folder).c_str(),
                 O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (dir < 0) return;
  unlinkat(dir, name.c_str(), 0);
  close(dir);
}

OutputCopy copy_command_output(const std::string& command_line, PrivateFile& file,
                               std::uint64_t cap, int timeout_ms) {
  OutputCopy copy;
  int ends[2];
  if (pipe2(ends, O_CLOEXEC) != 0) {
    copy.failed = true;
    copy.error_code = errno;
    return copy;
  }
  std::FILE* writer = fdopen(ends[1], "w");
  if (writer == nullptr) {
    copy.failed = true;
    copy.error_code = errno;
    close(ends[0]);
    close(ends[1]);
    return copy;
  }
  Child child;
  const bool started = start_child(command_line, child, copy.error_code, writer);
  std::fclose(writer);  // the child holds its own copy
  if (!started) {
    close(ends[0]);
    copy.failed = true;
    return copy;
  }

  const std::int64_t deadline = now_ms() + std::max(timeout_ms, 0);
  std::vector<char> buffer(1 << 16);
  bool ended = false;  // the command closed its output
  while (!ended && !copy.capped && copy.write_error.empty()) {
    const std::int64_t left = deadline - now_ms();
    if (left <= 0) {
      copy.timed_out = true;
      break;
    }
    pollfd reader{ends[0], POLLIN, 0};
    const int ready = poll(&reader, 1, static_cast<int>(std::min<std::int64_t>(left, 1 << 30)));
    if (ready < 0 && errno == EINTR) continue;
    if (ready == 0) continue;  // the deadline is checked above
    const ssize_t n = ready < 0 ? -1 : read(ends[0], buffer.data(), buffer.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ended = true;
      break;
    }
    const std::uint64_t room = cap - copy.bytes;
    const std::size_t take =
        static_cast<std::size_t>(std::min<std::uint64_t>(room, static_cast<std::uint64_t>(n)));
    if (take > 0) copy.write_error = write_private_file(file, buffer.data(), take);
    if (!copy.write_error.empty()) break;
    copy.bytes += take;
    if (take < static_cast<std::size_t>(n)) copy.capped = true;
  }
  close(ends[0]);

  int status = 0;
  if (ended && !peek_exit_status(child, deadline, status)) copy.timed_out = true;
  if (!ended || copy.timed_out) {
    kill_child_tree(child);
  } else if (status != 0) {
    copy.failed = true;
  }
  wait_child(child, 1000);
  close_child(child);
  return copy;
}

}  // namespace platform
