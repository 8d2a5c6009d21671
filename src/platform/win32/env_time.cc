// Time and environment of the Windows host.
#include <windows.h>

#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace platform {

std::int64_t now_epoch_seconds() {
  return static_cast<std::int64_t>(std::time(nullptr));
}

std::tm utc_time(std::int64_t epoch_seconds) {
  std::tm broken = {};
  const std::time_t seconds = static_cast<std::time_t>(epoch_seconds);
  if (gmtime_s(&broken, &seconds) != 0) return std::tm{};
  return broken;
}

std::tm local_time(std::int64_t epoch_seconds) {
  std::tm broken = {};
  const std::time_t seconds = static_cast<std::time_t>(epoch_seconds);
  if (localtime_s(&broken, &seconds) != 0) return std::tm{};
  return broken;
}

std::optional<std::string> get_env(const std::string& name) {
  // Reads the live process environment (names are case-insensitive). The
  // value may grow between the size query and the read, hence the loop.
  std::vector<char> value(256);
  for (;;) {
    SetLastError(ERROR_SUCCESS);
    DWORD length =
        GetEnvironmentVariableA(name.c_str(), value.data(), static_cast<DWORD>(value.size()));
    if (length == 0) {
      if (GetLastError() == ERROR_ENVVAR_NOT_FOUND) return std::nullopt;
      return std::string();
    }
    if (length < value.size()) return std::string(value.data(), length);
    value.resize(length);
  }
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
  return non_empty_env("computername");
}

std::optional<std::string> temp_root() {
  return non_empty_env("tmp");
}

std::string scratch_parent_name() {
  return "kestrel";
}

std::string os_name() {
  return get_env("os").value_or("");
}

}  // namespace platform
