// A fresh, empty folder per test and process for the POSIX platform tests.
#pragma once

#include <unistd.h>

#include <filesystem>
#include <string>

namespace platform::posix {

// temp/kestrel_<suite>_test_<name>_<pid>, emptied and made anew.
inline std::filesystem::path test_scratch(const std::string& suite, const std::string& name) {
  std::filesystem::path path =
      std::filesystem::temp_directory_path() /
      ("kestrel_" + suite + "_test_" + name + "_" + std::to_string(getpid()));
  std::filesystem::remove_all(path);
  std::filesystem::create_directories(path);
  return path;
}

}  // namespace platform::posix
