#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/test_scratch.h"
#include "platform/platform.h"
#include "platform/posix/proc_table.h"

namespace fs = std::filesystem;

namespace {

fs::path scratch(const std::string& name) {
  return core::test_scratch("tree", name);
}

// State letter of a process, or 0 when it is gone.
char state_of(long pid) {
  platform::posix::ProcessEntry entry;
  return platform::posix::read_process(pid, entry) ? entry.state : 0;
}

bool running(long pid) {
  char state = state_of(pid);
  return state != 0 && state != 'Z';
}

// Polls until `done` holds, for at most ten seconds.
template <typename Condition>
bool eventually(Condition done) {
  for (int i = 0; i < 1000; ++i) {
    if (done()) return true;
    platform::sleep_ms(10);
  }
  return done();
}

std::vector<long> read_pids(const fs::path& file) {
  std::vector<long> pids;
  std::ifstream in(file);
  for (long pid; in >> pid;) pids.push_back(pid);
  return pids;
}

// Running processes of `program` (by the path they were started with).
std::vector<long> running_copies(const std::string& program) {
  std::vector<long> pids;
  for (const platform::posix::ProcessEntry& p : platform::posix::read_process_table()) {
    std::ifstream cmdline("/proc/" + std::to_string(p.pid) + "/cmdline");
    std::string argv0;
    std::getline(cmdline, argv0, '\0');
    if (argv0 == program && p.state != 'Z') pids.push_back(p.pid);
  }
  return pids;
}

// A copy of sleep under a name of the test's own, so that whatever of it a
// failed test leaves running can be told apart and ended.
class SleepCopy {
 public:
  explicit SleepCopy(const std::string& name) : dir_(scratch(name)), path_(dir_ / name) {
    fs::copy_file("/bin/sleep", path_);
  }
  ~SleepCopy() {
    for (long pid : running_copies(path_.string())) kill(static_cast<pid_t>(pid), SIGKILL);
    fs::remove_all(dir_);
  }
  std::string path() const { return path_.string(); }
  const fs::path& dir() const { return dir_; }

 private:
  fs::path dir_;
  fs::path path_;
};

// The run is a subreaper that ignores SIGPIPE, as after start-up; the
// disposition is put back afterwards for the other tests.
class RunProcess : public ::testing::Test {
 protected:
  void SetUp() override { platform::prepare_process(); }
  void TearDown() override { signal(SIGPIPE, SIG_DFL); }
};

TEST_F(RunProcess, KillingTheTreeEndsDaemonsThatLeftTheGroupOrSession) {
  SleepCopy sleeper("kestrel_daemon_sleep");
  std::string pids = (sleeper.dir() / "pids").string();
  // One grandchild in a session of its own, one double-forked: its parent
  // exits at once, so it is nobody's child any more.
  std::string line = "setsid '" + sleeper.path() + "' 300 & echo $! >> '" + pids + "'; " +
                     "(setsid sh -c '\"" + sleeper.path() + "\" 300 & echo $! >> \"" + pids +
                     "\"' &); sleep 300";
  platform::Child child;
  int error = 0;
  ASSERT_TRUE(platform::start_child(line, child, error));
  ASSERT_TRUE(eventually([&] { return read_pids(pids).size() == 2; }));
  std::vector<long> daemons = read_pids(pids);
  for (long pid : daemons) ASSERT_TRUE(running(pid)) << pid;
  EXPECT_EQ(platform::wait_child(child, 100), platform::WaitResult::kTimedOut);

  EXPECT_TRUE(platform::kill_child_tree(child));
  EXPECT_FALSE(platform::child_running(child));
  // Ended and reaped: no zombie is left behind under the run either.
  for (long pid : daemons) EXPECT_EQ(state_of(pid), 0) << pid;
  EXPECT_TRUE(running_copies(sleeper.path()).empty());
  platform::close_child(child);
}

TEST_F(RunProcess, KillingTheTreeCatchesProcessesStartedDuringTheKill) {
  SleepCopy sleeper("kestrel_storm_sleep");
  // Keeps double-forking daemons while the kill is under way.
  std::string line = "i=0; while [ $i -lt 300 ]; do (setsid '" + sleeper.path() +
                     "' 300 &); i=$((i+1)); done; sleep 300";
  platform::Child child;
  int error = 0;
  ASSERT_TRUE(platform::start_child(line, child, error));
  ASSERT_TRUE(eventually([&] { return running_copies(sleeper.path()).size() >= 5; }));

  EXPECT_TRUE(platform::kill_child_tree(child));
  EXPECT_TRUE(running_copies(sleeper.path()).empty());
  platform::close_child(child);
}

TEST_F(RunProcess, OrphansOfAFinishedCommandAreReaped) {
  fs::path dir = scratch("orphan");
  fs::path pid_file = dir / "pid";
  platform::Child child;
  int error = 0;
  ASSERT_TRUE(
      platform::start_child("sleep 0.2 & echo $! > '" + pid_file.string() + "'", child, error));
  EXPECT_EQ(platform::wait_child(child, 10000), platform::WaitResult::kExited);
  ASSERT_TRUE(eventually([&] { return read_pids(pid_file).size() == 1; }));
  long orphan = read_pids(pid_file)[0];
  // It ended as our adopted child: a zombie until someone reaps it.
  ASSERT_TRUE(eventually([&] { return state_of(orphan) == 'Z'; }));
  platform::close_child(child);
  EXPECT_EQ(state_of(orphan), 0);
  fs::remove_all(dir);
}

TEST_F(RunProcess, ReapingOrphansLeavesOwnChildrenToTheirWaiter) {
  platform::Child first;
  int error = 0;
  ASSERT_TRUE(platform::start_child("exit 0", first, error));
  ASSERT_TRUE(eventually([&] { return state_of(first.pid) == 'Z'; }));

  // Starting and closing another child reaps orphans, but not `first`.
  platform::Child second;
  ASSERT_TRUE(platform::start_child("exit 0", second, error));
  EXPECT_EQ(platform::wait_child(second, 10000), platform::WaitResult::kExited);
  platform::close_child(second);
  EXPECT_EQ(state_of(first.pid), 'Z');

  EXPECT_EQ(platform::wait_child(first, 10000), platform::WaitResult::kExited);
  EXPECT_EQ(state_of(first.pid), 0);
  platform::close_child(first);
}

TEST_F(RunProcess, ChildrenGetBrokenPipeBackAtDefault) {
  struct sigaction own {};
  sigaction(SIGPIPE, nullptr, &own);
  ASSERT_EQ(own.sa_handler, SIG_IGN);

  // A shell that signals itself dies of it only when it does not ignore it.
  int status = platform::run_shell("kill -s PIPE $$");
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGPIPE) << status;

  fs::path dir = scratch("sigpipe");
  fs::path out = dir / "ignored";
  platform::Child child;
  int error = 0;
  ASSERT_TRUE(platform::start_child(
      "sed -n 's/^SigIgn:[[:space:]]*//p' /proc/self/status > '" + out.string() + "'", child,
      error));
  EXPECT_EQ(platform::wait_child(child, 10000), platform::WaitResult::kExited);
  platform::close_child(child);
  std::ifstream in(out);
  std::string mask;
  ASSERT_TRUE(in >> mask);
  unsigned long long ignored = std::strtoull(mask.c_str(), nullptr, 16);
  EXPECT_EQ(ignored & (1ULL << (SIGPIPE - 1)), 0u) << mask;
  fs::remove_all(dir);
}

TEST(RunShell, ReturnsTheStatusAsSystemDoesAfterFlushingStreams) {
  EXPECT_EQ(platform::run_shell("exit 7"), std::system("exit 7"));
  EXPECT_EQ(WEXITSTATUS(platform::run_shell("exit 7")), 7);
  EXPECT_EQ(WEXITSTATUS(platform::run_shell("no-such-command-kestrel 2> /dev/null")), 127);

  fs::path dir = scratch("flush");
  std::FILE* pending = std::fopen((dir / "pending").c_str(), "w");
  ASSERT_NE(pending, nullptr);
  std::fputs("written before the shell ran\n", pending);
  platform::run_shell("cp '" + (dir / "pending").string() + "' '" + (dir / "copy").string() + "'");
  std::fclose(pending);
  std::ifstream copy(dir / "copy");
  std::string line;
  std::getline(copy, line);
  EXPECT_EQ(line, "written before the shell ran");
  fs::remove_all(dir);
}

TEST(ProcTable, ReadsFieldsAfterACommandNameWithBlanksAndParentheses) {
  platform::posix::ProcessEntry entry;
  ASSERT_TRUE(platform::posix::parse_stat_line(
      "4242 (a) (b c) T 17 4240 4240 0 -1 4194560 1 0 0 0 0 0 0 0 20 0 1 0 987654 1 2", entry));
  EXPECT_EQ(entry.pid, 4242);
  EXPECT_EQ(entry.state, 'T');
  EXPECT_EQ(entry.parent, 17);
  EXPECT_EQ(entry.group, 4240);
  EXPECT_EQ(entry.start_time, 987654u);

  EXPECT_FALSE(platform::posix::parse_stat_line("4242 (cut) S 17 4240", entry));
  EXPECT_FALSE(platform::posix::parse_stat_line("garbage", entry));

  ASSERT_TRUE(platform::posix::read_process(getpid(), entry));
  EXPECT_EQ(entry.parent, static_cast<long>(getppid()));
  EXPECT_EQ(entry.group, static_cast<long>(getpgrp()));
}

}  // namespace
