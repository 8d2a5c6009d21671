// Environment and clock on POSIX.
#include <sys/utsname.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <string>

#include "platform/platform.h"

namespace platform {

std::int64_t now_epoch_seconds() {
  return static_cast<std::int64_t>(std::time(nullptr));
}

std::tm utc_time(std::int64_t epoch_seconds) {
  std::time_t t = static_cast<std::time_t>(epoch_seconds);
  std::tm out{};
  gmtime_r(&t, &out);
  return out;
}

std::tm local_time(std::int64_t epoch_seconds) {
  std::time_t t = static_cast<std::time_t>(epoch_seconds);
  std::tm out{};
  localtime_r(&t, &out);
  return out;
}

std::optional<std::string> get_env(const std::string& name) {
  const char* value = std::getenv(name.c_str());
  if (value == nullptr) return std::nullopt;
  return std::string(value);
}

namespace {

// A variable that is set but empty is treated as unset.
std::optional<std::string> non_empty_env(const std::string& name) {
  std::optional<std::string> value = get_env(name);
  if (value && value->empty()) return std::nullopt;
  return value;
}

}  // namespace

std::optional<std::string> computer_name() {
  if (auto value = non_empty_env("computername")) return value;
  char name[256] = {};
  if (gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') return std::nullopt;
  return std::string(name);
}

std::optional<std::string> temp_root() {
  if (auto value = non_empty_env("tmp")) return value;
  if (auto value = non_empty_env("TMPDIR")) return value;
  return std::string("/tmp");
}

std::string scratch_parent_name() {
  return "kestrel-" + std::to_string(static_cast<unsigned long>(geteuid()));
}

std::string os_name() {
  if (auto value = get_env("os")) return *value;
  utsname info{};
  if (uname(&info) != 0) return "";
  return info.sysname;
}

}  // namespace platform
