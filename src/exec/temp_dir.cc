#include "exec/temp_dir.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <set>

#include "core/messages.h"
#include "core/state.h"
#include "exec/outside_text.h"
#include "exec/runner.h"
#include "exec/wrappers.h"
#include "platform/platform.h"

namespace exec {

namespace {

// Serialises appends while background samplers may write. Returns false when
// the line must be dropped.
bool take_log_mutex(bool& locked) {
  locked = false;
  core::RunState& st = core::state();
  if (st.log_mutex == nullptr) return true;
  switch (platform::lock_mutex(st.log_mutex, 5000)) {
    case platform::LockResult::kAcquired:
      locked = true;
      return true;
    case platform::LockResult::kTimedOut:
      std::fputs(
          "WARNING: Timed out waiting for error log mutex. Some error messages may be lost...\n",
          stderr);
      return false;
    case platform::LockResult::kAbandoned:
      // The wait made us the owner: give it back so later writers go on.
      std::fputs("WARNING: A background process was unable to acquire error log mutex\n", stderr);
      platform::unlock_mutex(st.log_mutex);
      return false;
    case platform::LockResult::kFailed:
      break;
  }
  return false;
}

// Files of the run's own at the top of the scratch folder; no target may be
// named like one, as its folder would take the same place. A '#' stands for
// the number of a collection that runs side by side with others.
const char* const kScratchFiles[] = {"error.log", "tmp.out",  "lsout",  "tmp-#.out", "lsout-#",
                                     "spool-#",   "stderr-#", "stderr", "cmdout",    "cmdout-#"};

std::string lower_case(const std::string& text) {
  std::string lower = text;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower;
}

bool matches_scratch_pattern(const std::string& name, const std::string& pattern) {
  const size_t hash = pattern.find('#');
  if (hash == std::string::npos) return name == pattern;
  const std::string head = pattern.substr(0, hash);
  const std::string tail = pattern.substr(hash + 1);
  if (name.size() <= head.size() + tail.size()) return false;
  if (name.compare(0, head.size(), head) != 0) return false;
  if (name.compare(name.size() - tail.size(), tail.size(), tail) != 0) return false;
  for (size_t i = head.size(); i < name.size() - tail.size(); ++i) {
    if (!std::isdigit(static_cast<unsigned char>(name[i]))) return false;
  }
  return true;
}

}  // namespace

bool is_scratch_file_name(const std::string& name) {
  const std::string lower = lower_case(name);
  for (const char* scratch : kScratchFiles) {
    if (matches_scratch_pattern(lower, scratch)) return true;
  }
  return false;
}

std::string collection_scratch_path(const char* kind, size_t index) {
  std::string name = kind;
  const size_t hash = name.find('#');
  if (hash != std::string::npos) name.replace(hash, 1, std::to_string(index));
  return core::state().temp_dir + name;
}

void report_write_failure(const std::string& path, int error_number) {
  static std::mutex guard;
  static std::set<std::string> told;
  std::lock_guard<std::mutex> hold(guard);
  if (!told.insert(path).second) return;
  std::fprintf(stderr, "ERROR: Cannot write \"%s\": %s\n", path.c_str(),
               std::strerror(error_number));
}

bool probe_writable(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "w");
  bool ok = file != nullptr && std::fputs("x\n", file) >= 0 && std::fflush(file) == 0;
  int error_number = errno;
  if (file != nullptr && std::fclose(file) != 0 && ok) {
    ok = false;
    error_number = errno;
  }
  if (!ok) report_write_failure(path, error_number);
  if (file != nullptr) std::fclose(std::fopen(path.c_str(), "w"));  // leave it empty
  return ok;
}

std::optional<std::string> absolute_temp_root(const std::string& tmp) {
  std::error_code error;
  std::string root = std::filesystem::absolute(std::filesystem::path(tmp), error).string();
  if (error || root.empty()) return std::nullopt;
  if (root.back() == platform::shell::path_separator()) root.pop_back();
  return root;
}

void setup_temp_dir() {
  core::RunState& st = core::state();
  std::optional<std::string> tmp = platform::temp_root();
  if (!tmp) {
    std::fputs("FATAL: Could not access env var tmp\n", stderr);
    core::exit_run(1);
  }
  const char sep = platform::shell::path_separator();
  std::optional<std::string> root = absolute_temp_root(*tmp);
  if (!root) {
    core::error_line("FATAL: The temp folder \"" + *tmp +
                     "\" is relative and the current folder cannot be read; set tmp to an "
                     "absolute path");
    core::exit_run(1);
  }
  st.temp_dir =
      core::format("%s%c%s%c%ld%c", root->c_str(), sep, platform::scratch_parent_name().c_str(),
                   sep, platform::current_process_id(), sep);
  core::debug_line("Setting temp dir to: \"" + st.temp_dir + "\"");
  st.error_log_path = st.temp_dir + "error.log";
  core::debug_line("Setting error log to: \"" + st.error_log_path + "\"");

  // The path is written between double quotes into command texts; a path the
  // interpreter would still expand there is refused rather than run.
  if (!platform::shell::path_is_quotable(st.temp_dir)) {
    std::fprintf(stderr,
                 "FATAL: Cannot access temp directory \"%s\" from host: %s\n"
                 "ERROR: The temp folder path holds characters the command interpreter would "
                 "expand; set tmp to a plain path\n",
                 st.temp_dir.c_str(), st.host_name.c_str());
    core::exit_run(1);
  }

  // A leftover folder of the same process id goes first, with its files.
  core::debug_line("Destroying TEMP Dir: \"" + st.temp_dir + "\"");
  std::string problem = platform::create_private_dir(st.temp_dir);
  if (problem.empty()) {
    st.temp_dir_made = true;
    core::set_scratch_cleanup(remove_temp_dir_at_exit);
  }
  std::FILE* log = problem.empty() ? std::fopen(st.error_log_path.c_str(), "w") : nullptr;
  if (log == nullptr) {
    std::fprintf(stderr, "FATAL: Cannot access temp directory \"%s\" from host: %s\n",
                 st.temp_dir.c_str(), st.host_name.c_str());
    if (!problem.empty()) std::fprintf(stderr, "ERROR: %s\n", problem.c_str());
    core::exit_run(1);
  }
  std::fclose(log);
  core::debug_line("Successfully created temp dir!");
  append_error_log("tmp env var set to \"" + *tmp + "\"");
}

void prepare_target_dirs(int /*iteration*/) {
  core::RunState& st = core::state();
  const char sep = platform::shell::path_separator();
  auto recreate = [&](const std::string& name) {
    std::string folder = st.temp_dir + name + sep;
    platform::run_shell(platform::shell::remove_dir(folder));
    platform::run_shell(platform::shell::make_dir(folder));
  };
  if (st.options.collect_host) recreate(st.host_name);
  if (!st.options.filers_given) return;
  // The profiles' "gmon" folder beside the report is made by the profile
  // capture itself, which never follows a link there.
  for (const core::FilerTarget& filer : st.filers) recreate(filer.name);
}

void append_error_log(const std::string& message) {
  core::RunState& st = core::state();
  if (st.error_log_path.empty()) return;  // no run folder yet
  bool locked = false;
  if (!take_log_mutex(locked)) return;
  std::FILE* log = std::fopen(st.error_log_path.c_str(), "a+");
  if (log == nullptr) {
    core::error_line("FATAL: Cannot open error_log " + st.error_log_path + " for writing.");
  } else {
    // The whole line in one write, so lines of several threads never mix.
    std::string line = gmt_timestamp() + " : " + message + "\n";
    bool written =
        std::fwrite(line.data(), 1, line.size(), log) == line.size() && std::fflush(log) == 0;
    int error_number = errno;
    if (std::fclose(log) != 0 && written) {
      written = false;
      error_number = errno;
    }
    if (!written) report_write_failure(st.error_log_path, error_number);
  }
  if (locked) platform::unlock_mutex(st.log_mutex);
}

void move_into_error_log(const std::string& path) {
  core::RunState& st = core::state();
  std::FILE* in = std::fopen(path.c_str(), "rb");
  if (in == nullptr) return;
  // What a controller wrote on standard error is bounded like its other files.
  std::string text;
  char buffer[4096];
  size_t got;
  while (text.size() < kControllerFileCap && (got = std::fread(buffer, 1, sizeof buffer, in)) > 0) {
    text.append(buffer, got);
  }
  std::fclose(in);
  if (text.size() > kControllerFileCap) {
    text.resize(static_cast<size_t>(kControllerFileCap));
    text +=
        core::format("\nWARNING: standard error held more than %ju bytes; the rest was dropped\n",
                     kControllerFileCap);
  }
  if (text.empty() || st.error_log_path.empty()) return;
  bool locked = false;
  if (take_log_mutex(locked)) {
    std::FILE* log = std::fopen(st.error_log_path.c_str(), "ab");
    bool written = log != nullptr && std::fwrite(text.data(), 1, text.size(), log) == text.size();
    int error_number = errno;
    if (log != nullptr && std::fclose(log) != 0 && written) {
      written = false;
      error_number = errno;
    }
    if (!written) report_write_failure(st.error_log_path, error_number);
    if (locked) platform::unlock_mutex(st.log_mutex);
  }
  // Emptied for the next command.
  std::FILE* empty = std::fopen(path.c_str(), "wb");
  if (empty != nullptr) std::fclose(empty);
}

void remove_temp_dir_at_exit() {
  core::RunState& st = core::state();
  if (st.temp_dir.empty()) return;
  std::error_code ignored;
  std::filesystem::remove_all(st.temp_dir, ignored);
  st.temp_dir_made = false;
}

void destroy_temp_dir() {
  core::RunState& st = core::state();
  if (st.temp_dir.empty()) return;
  core::debug_line("Destroying TEMP Dir: \"" + st.temp_dir + "\"");
  platform::run_shell(platform::shell::remove_dir(st.temp_dir));
  st.temp_dir_made = false;
}

}  // namespace exec

namespace exec {

void print_error_log_section() {
  core::RunState& st = core::state();
  std::printf("=-=-=-=-=-= CONFIG %s POSTSTATS =-=-=-=-=-= ERROR LOG\n", st.host_name.c_str());
  run_command(core::Collection{}, platform::shell::interpreter(
                                      platform::shell::type_file("\"" + st.error_log_path + "\"")));
}

}  // namespace exec
