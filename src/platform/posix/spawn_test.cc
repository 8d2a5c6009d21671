// What a child gets from the run (descriptors, standard input) and the
// registry of live children that the end of the run closes and kills.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "core/test_scratch.h"
#include "platform/interrupt.h"
#include "platform/platform.h"
#include "platform/posix/proc_table.h"

namespace fs = std::filesystem;

namespace {

fs::path scratch(const std::string& name) {
  return core::test_scratch("spawn", name);
}

template <typename Condition>
bool eventually(Condition done) {
  for (int i = 0; i < 1000; ++i) {
    if (done()) return true;
    platform::sleep_ms(10);
  }
  return done();
}

bool running(long pid) {
  platform::posix::ProcessEntry entry;
  return platform::posix::read_process(pid, entry) && entry.state != 'Z';
}

std::string first_word(const fs::path& file) {
  std::ifstream in(file);
  std::string word;
  in >> word;
  return word;
}

std::vector<long> read_pids(const fs::path& file) {
  std::vector<long> pids;
  std::ifstream in(file);
  for (long pid; in >> pid;) pids.push_back(pid);
  return pids;
}

// The descriptors open in process `pid`, and where 0 and 1 lead.
struct OpenFiles {
  std::set<int> numbers;
  std::string input;
  std::string output;
};

OpenFiles open_files(long pid) {
  OpenFiles files;
  const fs::path dir = "/proc/" + std::to_string(pid) + "/fd";
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(dir, error)) {
    files.numbers.insert(std::stoi(entry.path().filename().string()));
  }
  files.input = fs::read_symlink(dir / "0", error).string();
  files.output = fs::read_symlink(dir / "1", error).string();
  return files;
}

// The run as after start-up (a subreaper that ignores SIGPIPE), holding
// files and a pipe of its own open, none of them close-on-exec, as spools
// and logs are.
class RunWithOpenFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::prepare_process();
    dir_ = scratch("files");
    held_ = std::fopen((dir_ / "held").c_str(), "w");
    ASSERT_NE(held_, nullptr);
    ASSERT_EQ(pipe(pipe_), 0);
  }
  void TearDown() override {
    std::fclose(held_);
    close(pipe_[0]);
    close(pipe_[1]);
    signal(SIGPIPE, SIG_DFL);
    fs::remove_all(dir_);
  }
  fs::path dir_;
  std::FILE* held_ = nullptr;
  int pipe_[2] = {-1, -1};
};

TEST_F(RunWithOpenFiles, AChildHoldsOnlyItsStandardDescriptors) {
  const fs::path spool = dir_ / "spool";
  std::FILE* out = std::fopen(spool.c_str(), "w");
  ASSERT_NE(out, nullptr);
  platform::Child child;
  int error = 0;
  ASSERT_TRUE(platform::start_child("echo started; exec sleep 30", child, error, out));
  ASSERT_TRUE(eventually([&] { return first_word(spool) == "started"; }));
  // Past the shell's own redirections and the loader's brief opens of
  // libraries: the program that runs is sleep, holding 0-2 only. A leaked
  // descriptor stays open, so the wait ends without it.
  ASSERT_TRUE(eventually([&] {
    return platform::posix::image_name(child.pid) == "sleep" &&
           open_files(child.pid).numbers == std::set<int>{0, 1, 2};
  })) << open_files(child.pid).numbers.size()
      << " descriptors";
  OpenFiles files = open_files(child.pid);
  EXPECT_EQ(files.input, "/dev/null");
  EXPECT_EQ(files.output, fs::canonical(spool).string());
  EXPECT_TRUE(platform::kill_child_tree(child));
  platform::close_child(child);
  std::fclose(out);

  // The interpreter of run_shell alike: it lists its own descriptors.
  const fs::path listing = dir_ / "listing";
  std::FILE* list_out = std::fopen(listing.c_str(), "w");
  ASSERT_NE(list_out, nullptr);
  EXPECT_EQ(platform::run_shell("ls /proc/$$/fd; readlink /proc/$$/fd/0", list_out), 0);
  std::fclose(list_out);
  std::ifstream in(listing);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  EXPECT_EQ(lines, (std::vector<std::string>{"0", "1", "2", "/dev/null"}));
}

TEST_F(RunWithOpenFiles, ACommandThatReadsItsInputEndsAtOnce) {
  // The run's standard input is a pipe whose writer never closes it.
  const int saved_input = dup(STDIN_FILENO);
  ASSERT_GE(saved_input, 0);
  ASSERT_EQ(dup2(pipe_[0], STDIN_FILENO), STDIN_FILENO);
  const fs::path read_text = dir_ / "read";
  std::FILE* out = std::fopen(read_text.c_str(), "w");
  platform::Child child;
  int error = 0;
  const bool started = platform::start_child("cat; echo end-of-input", child, error, out);
  // The bound only keeps a failing test from hanging; the command needs none.
  const platform::WaitResult waited =
      started ? platform::wait_child(child, 10000) : platform::WaitResult::kFailed;
  if (started) {
    platform::kill_child_tree(child);
    platform::close_child(child);
  }
  // A line waits in the pipe: an interpreter that read the run's input
  // would get it.
  const bool typed = write(pipe_[1], "typed\n", 6) == 6;
  const int shell_status = platform::run_shell("read line || echo no-input", out);
  dup2(saved_input, STDIN_FILENO);
  close(saved_input);
  std::fclose(out);
  ASSERT_TRUE(started && typed);
  EXPECT_EQ(waited, platform::WaitResult::kExited);
  EXPECT_EQ(shell_status, 0);
  std::ifstream in(read_text);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  EXPECT_EQ(lines, (std::vector<std::string>{"end-of-input", "no-input"}));
}

// A writer past the cap of its child is ended there; the same command
// started without a cap, and the run itself, are not bound by it.
TEST_F(RunWithOpenFiles, AFileCapEndsTheWriterAtTheCapInThatChildOnly) {
  ASSERT_TRUE(platform::child_file_cap_enforced());
  const std::uint64_t cap = 1 << 20;
  auto flood = [&](const std::string& name, std::uint64_t file_cap) {
    const std::string file = (dir_ / name).string();
    const std::string line = "head -c 4194304 /dev/zero >> '" + file + "'; echo $? > '" + file +
                             ".status'; ulimit -c > '" + file + ".core'";
    platform::Child child;
    int error = 0;
    EXPECT_TRUE(platform::start_child(line, child, error, nullptr, file_cap));
    // The bound only keeps a failing test from hanging.
    EXPECT_EQ(platform::wait_child(child, 20000), platform::WaitResult::kExited);
    platform::kill_child_tree(child);
    platform::close_child(child);
  };
  // Core files allowed in the run, so that the capped child's own limit shows.
  rlimit core_before{};
  ASSERT_EQ(getrlimit(RLIMIT_CORE, &core_before), 0);
  rlimit core_allowed = core_before;
  if (core_allowed.rlim_max == RLIM_INFINITY || core_allowed.rlim_max >= 1 << 20) {
    core_allowed.rlim_cur = 1 << 20;
  }
  ASSERT_EQ(setrlimit(RLIMIT_CORE, &core_allowed), 0);
  flood("capped", cap);
  flood("free", 0);
  setrlimit(RLIMIT_CORE, &core_before);
  EXPECT_EQ(fs::file_size(dir_ / "capped"), cap);
  EXPECT_EQ(first_word(dir_ / "capped.status"), std::to_string(128 + SIGXFSZ));
  EXPECT_EQ(first_word(dir_ / "capped.core"), "0");  // no core file left behind
  EXPECT_EQ(fs::file_size(dir_ / "free"), 4u << 20);
  EXPECT_EQ(first_word(dir_ / "free.status"), "0");
  if (core_allowed.rlim_cur != 0) {
    EXPECT_NE(first_word(dir_ / "free.core"), "0");
  }
}

// Started children, one of them with a daemon that left its session (a
// double fork: nobody's child but its shell's).
class Registry : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::prepare_process();
    dir_ = scratch("registry");
    pids_ = dir_ / "pids";
  }
  void TearDown() override {
    platform::reopen_child_registry_for_cleanup();
    for (long pid : watched_) {
      if (running(pid)) kill(static_cast<pid_t>(pid), SIGKILL);
    }
    signal(SIGPIPE, SIG_DFL);
    fs::remove_all(dir_);
  }

  void start_clients(platform::Child (&children)[3]) {
    const std::string record = " >> '" + pids_.string() + "'";
    const std::string lines[3] = {
        "echo $$" + record + "; sleep 300",
        "echo $$" + record + "; (setsid sh -c 'echo $$" + record +
            "; exec sleep 300' &); sleep 300",
        "echo $$" + record + "; sleep 300",
    };
    for (int i = 0; i < 3; ++i) {
      int error = 0;
      ASSERT_TRUE(platform::start_child(lines[i], children[i], error));
    }
    ASSERT_TRUE(eventually([&] { return read_pids(pids_).size() == 4; }));
    watched_ = read_pids(pids_);
    for (long pid : watched_) ASSERT_TRUE(running(pid)) << pid;
  }

  fs::path dir_;
  fs::path pids_;
  std::vector<long> watched_;
};

TEST_F(Registry, AfterTheCloseNothingStartsAndEveryRegisteredChildIsKilled) {
  platform::Child children[3];
  start_clients(children);
  // One whose owner gave up waiting for it is still a live child.
  platform::close_child(children[2]);

  ASSERT_TRUE(platform::child_registry_open());
  platform::close_child_registry();
  EXPECT_FALSE(platform::child_registry_open());
  platform::Child refused;
  int error = 0;
  EXPECT_FALSE(
      platform::start_child("echo late > '" + (dir_ / "late").string() + "'", refused, error));
  EXPECT_EQ(error, platform::kChildRegistryClosed);
  EXPECT_EQ(platform::run_shell("echo late > '" + (dir_ / "late").string() + "'"), -1);
  EXPECT_EQ(platform::last_error(), platform::kChildRegistryClosed);

  EXPECT_GE(platform::kill_registered_children(), 4);
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(platform::wait_child(children[i], 20000), platform::WaitResult::kExited);
    platform::close_child(children[i]);
  }
  for (long pid : watched_) EXPECT_TRUE(eventually([&] { return !running(pid); })) << pid;
  EXPECT_FALSE(fs::exists(dir_ / "late"));

  // Clean-up commands only after an explicit reopen.
  platform::reopen_child_registry_for_cleanup();
  EXPECT_EQ(platform::run_shell("echo late > '" + (dir_ / "late").string() + "'"), 0);
  EXPECT_TRUE(fs::exists(dir_ / "late"));
}

TEST_F(Registry, KillingOwnDescendantsClosesTheRegistryFirst) {
  platform::Child children[3];
  start_clients(children);
  EXPECT_GE(platform::kill_own_descendants(), 4);
  platform::Child refused;
  int error = 0;
  EXPECT_FALSE(platform::start_child("exit 0", refused, error));
  EXPECT_EQ(error, platform::kChildRegistryClosed);
  for (platform::Child& child : children) {
    EXPECT_EQ(platform::wait_child(child, 20000), platform::WaitResult::kExited);
    platform::close_child(child);
  }
  for (long pid : watched_) EXPECT_TRUE(eventually([&] { return !running(pid); })) << pid;
}

}  // namespace
