// A fatal end of the run while samplers are running: every client ends with
// the run, no worker starts another, and the status is the one asked for.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "core/messages.h"
#include "core/state.h"
#include "core/test_scratch.h"
#include "platform/platform.h"
#include "platform/threads.h"

namespace {

// A sampler that starts its client again whenever it ends, until a start is
// refused: after the run's kill it would otherwise leave a fresh client.
void restarting_sampler(void* argument) {
  const std::string& command = *static_cast<const std::string*>(argument);
  for (;;) {
    platform::Child child;
    int error_code = 0;
    if (!platform::start_child(command, child, error_code)) return;
    platform::wait_child(child, -1);
    platform::close_child(child);
  }
}

bool file_has_lines(const std::string& path, size_t count) {
  std::ifstream in(path);
  std::string line;
  size_t lines = 0;
  while (std::getline(in, line)) ++lines;
  return lines >= count;
}

// Running, not a zombie waiting for its parent.
bool process_alive(const std::string& pid) {
  std::ifstream stat("/proc/" + pid + "/stat");
  std::string text;
  if (!std::getline(stat, text)) return false;
  const size_t close = text.rfind(')');
  return close != std::string::npos && close + 2 < text.size() && text[close + 2] != 'Z';
}

TEST(ExitRun, AFatalEndWhileSamplersRunLeavesNoClient) {
  const std::filesystem::path scratch = core::test_scratch("exit_run", "samplers");
  const std::string pids = (scratch / "pids").string();
  // The shell's id is the sleep's after exec.
  const std::string command = "echo $$ >> '" + pids + "'; exec sleep 30";

  EXPECT_EXIT(
      {
        core::reset_state();
        core::state().background_threads.stop = platform::create_stop_signal();
        std::vector<platform::Thread*> threads;
        for (int i = 0; i < 4; ++i) {
          threads.push_back(
              platform::start_thread(restarting_sampler, const_cast<std::string*>(&command)));
        }
        const std::int64_t deadline = platform::monotonic_ms() + 20000;
        while (!file_has_lines(pids, 4) && platform::monotonic_ms() < deadline) {
          platform::sleep_ms(10);
        }
        core::exit_run(1);
      },
      ::testing::ExitedWithCode(1), "");

  std::ifstream in(pids);
  std::vector<std::string> started;
  for (std::string pid; std::getline(in, pid);) started.push_back(pid);
  ASSERT_GE(started.size(), 4u);
  // Killed clients may take a moment to be reaped by whoever inherits them.
  const std::int64_t deadline = platform::monotonic_ms() + 5000;
  for (const std::string& pid : started) {
    while (process_alive(pid) && platform::monotonic_ms() < deadline) platform::sleep_ms(20);
    EXPECT_FALSE(process_alive(pid)) << "client " << pid << " outlived the run";
  }
  std::filesystem::remove_all(scratch);
}

}  // namespace
