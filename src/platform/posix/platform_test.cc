#include "platform/platform.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <thread>

namespace fs = std::filesystem;

namespace {

fs::path scratch(const std::string& name) {
  fs::path path = fs::temp_directory_path() /
                  ("kestrel_platform_test_" + name + "_" + std::to_string(getpid()));
  fs::remove_all(path);
  fs::create_directories(path);
  return path;
}

// Running, as opposed to gone or a zombie waiting for a reaper.
bool alive(long pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  if (!std::getline(stat, line)) return false;
  size_t close = line.rfind(')');
  return close != std::string::npos && close + 2 < line.size() && line[close + 2] != 'Z';
}

TEST(ChildProcess, ExitedChildIsReportedAsExited) {
  platform::Child child;
  int error = 0;
  ASSERT_TRUE(platform::start_child("exit 3", child, error));
  EXPECT_EQ(platform::wait_child(child, 5000), platform::WaitResult::kExited);
  EXPECT_FALSE(platform::child_running(child));
  platform::close_child(child);
}

TEST(ChildProcess, KillingTheTreeEndsGrandchildren) {
  fs::path dir = scratch("tree");
  std::string pids = (dir / "pids").string();
  // The child starts two sleeping grandchildren, records their ids and waits.
  std::string line =
      "sleep 300 & echo $! >> '" + pids + "'; (sleep 300 & echo $! >> '" + pids + "'; wait) & wait";
  platform::Child child;
  int error = 0;
  ASSERT_TRUE(platform::start_child(line, child, error));
  EXPECT_EQ(platform::wait_child(child, 500), platform::WaitResult::kTimedOut);
  EXPECT_TRUE(platform::child_running(child));

  std::vector<long> grandchildren;
  std::ifstream in(pids);
  for (long pid; in >> pid;) grandchildren.push_back(pid);
  ASSERT_EQ(grandchildren.size(), 2u);

  EXPECT_TRUE(platform::kill_child_tree(child));
  EXPECT_FALSE(platform::child_running(child));
  platform::sleep_ms(100);
  for (long pid : grandchildren) EXPECT_FALSE(alive(pid)) << pid;
  platform::close_child(child);
  fs::remove_all(dir);
}

TEST(ChildProcess, KillByImageNameEndsOnlyMatchingProcesses) {
  fs::path dir = scratch("byname");
  fs::path tool = dir / "kestrelzz.exe";
  fs::copy_file("/bin/sleep", tool);
  platform::Child child;
  int error = 0;
  ASSERT_TRUE(platform::start_child("exec '" + tool.string() + "' 300", child, error));
  platform::sleep_ms(200);
  long killed = platform::kill_processes_by_name("kestrelzz.exe");
  EXPECT_EQ(killed, child.pid);
  EXPECT_EQ(platform::wait_child(child, 5000), platform::WaitResult::kExited);
  EXPECT_EQ(platform::kill_processes_by_name("kestrelzz.exe"), 0);
  platform::close_child(child);
  fs::remove_all(dir);
}

TEST(KillByName, OnlyTheWholeNameOrItWithExeNotLongerNames) {
  fs::path dir = scratch("byname_whole");
  platform::Child children[2];
  const char* names[2] = {"kestrelqq.exe", "kestrelqqd"};  // a client, a daemon of a longer name
  int error = 0;
  for (int i = 0; i < 2; ++i) {
    fs::copy_file("/bin/sleep", dir / names[i]);
    ASSERT_TRUE(
        platform::start_child("exec '" + (dir / names[i]).string() + "' 300", children[i], error));
  }
  platform::sleep_ms(200);
  EXPECT_EQ(platform::kill_processes_by_name("kestrelqq"), children[0].pid);
  EXPECT_EQ(platform::wait_child(children[0], 5000), platform::WaitResult::kExited);
  EXPECT_TRUE(platform::child_running(children[1])) << "a longer name was ended";
  platform::kill_child_tree(children[1]);
  for (platform::Child& child : children) platform::close_child(child);
  fs::remove_all(dir);
}

TEST(PrivateDir, IsMadeForTheUserAloneAndReplacesALeftover) {
  fs::path dir = scratch("private");
  fs::path target = dir / "kestrel" / "42";
  ASSERT_EQ(platform::create_private_dir(target.string() + "/"), "");
  std::ofstream(target / "leftover") << "old";
  ASSERT_EQ(platform::create_private_dir(target.string() + "/"), "");
  EXPECT_FALSE(fs::exists(target / "leftover"));
  struct stat info {};
  ASSERT_EQ(stat(target.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0700u);
  fs::remove_all(dir);
}

TEST(PrivateDir, RefusesALinkAndNeverTouchesItsTarget) {
  fs::path dir = scratch("link");
  fs::create_directories(dir / "kestrel");
  fs::create_directories(dir / "victim");
  std::ofstream(dir / "victim" / "precious") << "keep";
  fs::create_directory_symlink(dir / "victim", dir / "kestrel" / "42");
  std::string problem = platform::create_private_dir((dir / "kestrel" / "42").string() + "/");
  EXPECT_NE(problem.find("symbolic link"), std::string::npos) << problem;
  EXPECT_TRUE(fs::exists(dir / "victim" / "precious"));

  fs::create_directory_symlink(dir / "victim", dir / "other2");
  problem = platform::create_private_dir((dir / "other2" / "7").string() + "/");
  EXPECT_NE(problem.find("symbolic link"), std::string::npos) << problem;
  fs::remove_all(dir);
}

TEST(PrivateDir, RefusesAFolderOfAnotherUser) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to hand a folder to another user";
  fs::path dir = scratch("foreign");
  fs::create_directories(dir / "kestrel" / "42");
  ASSERT_EQ(chown((dir / "kestrel" / "42").c_str(), 65534, 65534), 0);
  std::string problem = platform::create_private_dir((dir / "kestrel" / "42").string() + "/");
  EXPECT_NE(problem.find("another user"), std::string::npos) << problem;
  EXPECT_TRUE(fs::exists(dir / "kestrel" / "42"));
  fs::remove_all(dir);
}

TEST(PrivateDir, ClosesAParentOfOursThatOthersCouldEnter) {
  fs::path dir = scratch("open_parent");
  fs::path parent = dir / platform::scratch_parent_name();
  fs::create_directories(parent);
  ASSERT_EQ(chmod(parent.c_str(), 0777), 0);
  ASSERT_EQ(platform::create_private_dir((parent / "42").string() + "/"), "");
  struct stat info {};
  ASSERT_EQ(stat(parent.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0700u);
  fs::remove_all(dir);
}

TEST(Environment, ScratchParentIsPerUser) {
  EXPECT_EQ(platform::scratch_parent_name(), "kestrel-" + std::to_string(geteuid()));
}

// Sets or, with nullptr, unsets a variable for one test and restores it.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value != nullptr) {
      setenv(name, value, 1);
    } else {
      unsetenv(name);
    }
  }
  ~ScopedEnv() {
    if (old_) {
      setenv(name_.c_str(), old_->c_str(), 1);
    } else {
      unsetenv(name_.c_str());
    }
  }

 private:
  std::string name_;
  std::optional<std::string> old_;
};

TEST(Environment, EmptyValuesCountAsUnset) {
  {
    ScopedEnv tmp("tmp", "");
    ScopedEnv tmpdir("TMPDIR", nullptr);
    EXPECT_EQ(platform::temp_root(), "/tmp");
  }
  {
    ScopedEnv tmp("tmp", "");
    ScopedEnv tmpdir("TMPDIR", "/var/tmp");
    EXPECT_EQ(platform::temp_root(), "/var/tmp");
  }
  {
    ScopedEnv tmp("tmp", "/srv/scratch");
    EXPECT_EQ(platform::temp_root(), "/srv/scratch");
  }
  char host[256] = {};
  ASSERT_EQ(gethostname(host, sizeof host - 1), 0);
  {
    ScopedEnv name("computername", "");
    EXPECT_EQ(platform::computer_name(), std::string(host));
  }
  {
    ScopedEnv name("computername", "e2ehost");
    EXPECT_EQ(platform::computer_name(), "e2ehost");
  }
}

TEST(Mutex, TimedWaitReportsTimeOut) {
  platform::Mutex* mutex = platform::create_mutex();
  ASSERT_NE(mutex, nullptr);
  ASSERT_EQ(platform::lock_mutex(mutex, 100), platform::LockResult::kAcquired);
  platform::LockResult other = platform::LockResult::kFailed;
  std::thread waiter([&] { other = platform::lock_mutex(mutex, 100); });
  waiter.join();
  EXPECT_EQ(other, platform::LockResult::kTimedOut);
  platform::unlock_mutex(mutex);
  platform::close_mutex(mutex);
}

TEST(ShellDialect, EchoLineKeepsEveryCharacter) {
  fs::path dir = scratch("echo");
  fs::path out = dir / "out.txt";
  std::string text = "Filer: priv set; a | b > c & 'q' \"d\" $HOME `x`";
  platform::run_shell(platform::shell::append_line(text, out.string()));
  std::ifstream in(out);
  std::string line;
  std::getline(in, line);
  EXPECT_EQ(line, text);
  fs::remove_all(dir);
}

// The same line as through the interpreter, also into a path that a shell
// would expand, and without a child: it still works once the registry of
// children is closed at the end of the run.
TEST(ShellDialect, AppendedLinesAreWrittenByTheRunItself) {
  fs::path dir = scratch("append");
  fs::path out = dir / "$HOME `x` out.txt";
  const std::string text = "Filer: priv set; a | b > c & 'q' \"d\" $HOME `x` %PATH% \\";
  platform::close_child_registry();
  const bool first = platform::append_line_to_file(text, out.string());
  const bool second = platform::append_lines_to_file({"Begin: now", "End: later"}, out.string());
  platform::reopen_child_registry_for_cleanup();
  EXPECT_TRUE(first);
  EXPECT_TRUE(second);
  std::ifstream in(out, std::ios::binary);
  const std::string written((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(written, text + "\nBegin: now\nEnd: later\n");
  EXPECT_FALSE(platform::append_line_to_file("x", (dir / "missing" / "out.txt").string()));
  fs::remove_all(dir);
}

}  // namespace

namespace {

TEST(ShellDialect, QuotedArgumentReachesTheProgramIntact) {
  fs::path dir = scratch("quote");
  fs::path out = dir / "arg.txt";
  for (std::string text :
       {std::string("plain-Word_1.2"), std::string("p@ss w0rd!&|<>^;$`\"'\\x"), std::string("")}) {
    std::string quoted;
    ASSERT_TRUE(platform::shell::quote_argument(text, quoted)) << text;
    platform::run_shell("printf '%s' " + quoted + " > '" + out.string() + "'");
    std::ifstream in(out);
    std::string got((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(got, text);
  }
  std::string quoted;
  EXPECT_TRUE(platform::shell::quote_argument("plain-Word_1.2", quoted));
  EXPECT_EQ(quoted, "plain-Word_1.2");
  EXPECT_FALSE(platform::shell::quote_argument("two\nlines", quoted));
  fs::remove_all(dir);
}

}  // namespace
