// A fresh, empty folder per test and process, for tests that write files:
// ctest runs cases side by side, so no two may share a path.
#pragma once

#include <filesystem>
#include <string>

#include "platform/platform.h"

namespace core {

// temp/kestrel_<suite>_test_<name>_<pid>, emptied and made anew.
inline std::filesystem::path test_scratch(const std::string& suite, const std::string& name) {
  std::filesystem::path path =
      std::filesystem::temp_directory_path() /
      ("kestrel_" + suite + "_test_" + name + "_" + std::to_string(platform::current_process_id()));
  std::filesystem::remove_all(path);
  std::filesystem::create_directories(path);
  return path;
}

}  // namespace core
