#include "platform/threads.h"

#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <string>

namespace {

// Running, as opposed to gone or a zombie.
bool alive(long pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  if (!std::getline(stat, line)) return false;
  size_t close = line.rfind(')');
  return close != std::string::npos && close + 2 < line.size() && line[close + 2] != 'Z';
}

struct Sleeper {
  platform::StopSignal* stop;
  std::atomic<bool> saw_stop{false};
};

void sleep_until_stopped(void* raw) {
  Sleeper* sleeper = static_cast<Sleeper*>(raw);
  sleeper->saw_stop = platform::wait_for_stop(sleeper->stop, 600000);
}

TEST(WorkerThread, SleepEndsOnTheStopSignalAndTheJoinSeesIt) {
  Sleeper sleeper;
  sleeper.stop = platform::create_stop_signal();
  platform::Thread* thread = platform::start_thread(sleep_until_stopped, &sleeper);
  ASSERT_NE(thread, nullptr);
  EXPECT_FALSE(platform::join_thread(thread, 0));
  EXPECT_EQ(platform::thread_status(thread), platform::ThreadStatus::kRunning);

  platform::raise_stop(sleeper.stop);
  ASSERT_TRUE(platform::join_thread(thread, 60000));
  EXPECT_TRUE(sleeper.saw_stop);
  EXPECT_EQ(platform::thread_status(thread), platform::ThreadStatus::kEnded);
  // A raised signal stays raised for every later wait.
  EXPECT_TRUE(platform::wait_for_stop(sleeper.stop, 0));
  platform::close_thread(thread);
  platform::close_stop_signal(sleeper.stop);
}

TEST(WorkerThread, UnraisedSignalLetsTheSleepRunOut) {
  platform::StopSignal* stop = platform::create_stop_signal();
  EXPECT_FALSE(platform::stop_raised(stop));
  EXPECT_FALSE(platform::wait_for_stop(stop, 10));
  platform::close_stop_signal(stop);
}

TEST(ChildOrStop, ReportsWhatEndedTheWait) {
  platform::StopSignal* stop = platform::create_stop_signal();
  platform::Child child;
  int error = 0;

  ASSERT_TRUE(platform::start_child("exit 3", child, error));
  EXPECT_EQ(platform::wait_child_or_stop(child, 60000, stop), platform::ChildWait::kExited);
  platform::close_child(child);

  ASSERT_TRUE(platform::start_child("sleep 600", child, error));
  EXPECT_EQ(platform::wait_child_or_stop(child, 20, stop), platform::ChildWait::kTimedOut);
  EXPECT_TRUE(alive(child.pid));

  // Raised while the child runs: the wait returns, the child is left to
  // the caller, who kills its tree.
  platform::raise_stop(stop);
  EXPECT_EQ(platform::wait_child_or_stop(child, 600000, stop), platform::ChildWait::kStopped);
  EXPECT_TRUE(alive(child.pid));
  EXPECT_TRUE(platform::kill_child_tree(child));
  EXPECT_FALSE(alive(child.pid));
  platform::close_child(child);
  platform::close_stop_signal(stop);
}

}  // namespace
