// Children whose standard output goes to a spool file of the caller's instead
// of the run's own.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "core/test_scratch.h"
#include "platform/platform.h"
#include "platform/threads.h"

namespace fs = std::filesystem;

namespace {

fs::path scratch(const std::string& name) {
  return core::test_scratch("output", name);
}

std::string read_file(const fs::path& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// A spool file as the collections open it: append mode, unbuffered.
std::FILE* open_spool(const fs::path& path) {
  std::FILE* file = std::fopen(path.c_str(), "a");
  if (file != nullptr) std::setvbuf(file, nullptr, _IONBF, 0);
  return file;
}

// What reached the process's real standard output and error (descriptors 1
// and 2) while `body` ran. Nothing may assert inside `body`: a failure
// message would be captured too.
struct Captured {
  std::string out;
  std::string err;
};

Captured capture_std(const fs::path& dir, const std::function<void()>& body) {
  const fs::path paths[2] = {dir / "real_stdout", dir / "real_stderr"};
  int saved[2];
  std::fflush(nullptr);
  for (int i = 0; i < 2; ++i) {
    saved[i] = dup(1 + i);
    int fd = open(paths[i].c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(fd, 1 + i);
    close(fd);
  }
  body();
  std::fflush(nullptr);
  for (int i = 0; i < 2; ++i) {
    dup2(saved[i], 1 + i);
    close(saved[i]);
  }
  return {read_file(paths[0]), read_file(paths[1])};
}

TEST(ChildOutput, GoesToTheFileAfterTheCallersTextAndNotToStdout) {
  fs::path dir = scratch("child");
  fs::path spool = dir / "spool";
  std::FILE* out = open_spool(spool);
  ASSERT_NE(out, nullptr);

  bool started = false;
  platform::WaitResult waited = platform::WaitResult::kFailed;
  Captured real = capture_std(dir, [&] {
    std::fprintf(out, "before\n");
    platform::Child child;
    int error = 0;
    // The child, a subshell and a program it starts all print; stderr is
    // left alone.
    started = platform::start_child(
        "echo child; (echo subshell); sh -c 'echo grandchild'; echo to-err >&2", child, error, out);
    if (started) {
      waited = platform::wait_child(child, 60000);
      platform::close_child(child);
    }
    std::fprintf(out, "after\n");
  });
  std::fclose(out);

  ASSERT_TRUE(started);
  EXPECT_EQ(waited, platform::WaitResult::kExited);
  EXPECT_EQ(read_file(spool), "before\nchild\nsubshell\ngrandchild\nafter\n");
  EXPECT_EQ(real.out, "");
  EXPECT_EQ(real.err, "to-err\n");
  fs::remove_all(dir);
}

TEST(ChildOutput, RunShellWritesIntoTheFileAndKeepsItsStatus) {
  fs::path dir = scratch("shell");
  fs::path spool = dir / "spool";
  std::FILE* out = open_spool(spool);
  ASSERT_NE(out, nullptr);

  int first = -1;
  int second = -1;
  Captured real = capture_std(dir, [&] {
    first = platform::run_shell("echo one; echo to-err >&2", out);
    std::fprintf(out, "between\n");
    second = platform::run_shell("echo two; exit 7", out);
  });
  std::fclose(out);

  ASSERT_TRUE(WIFEXITED(first));
  EXPECT_EQ(WEXITSTATUS(first), 0);
  ASSERT_TRUE(WIFEXITED(second));
  EXPECT_EQ(WEXITSTATUS(second), 7);
  EXPECT_EQ(read_file(spool), "one\nbetween\ntwo\n");
  EXPECT_EQ(real.out, "");
  EXPECT_EQ(real.err, "to-err\n");
  fs::remove_all(dir);
}

TEST(ChildOutput, WhatTheCallerBufferedComesFirst) {
  fs::path dir = scratch("buffered");
  fs::path spool = dir / "spool";
  std::FILE* out = std::fopen(spool.c_str(), "a");  // fully buffered
  ASSERT_NE(out, nullptr);
  std::fprintf(out, "first\n");
  platform::Child child;
  int error = 0;
  ASSERT_TRUE(platform::start_child("echo child", child, error, out));
  EXPECT_EQ(platform::wait_child(child, 60000), platform::WaitResult::kExited);
  platform::close_child(child);
  std::fprintf(out, "second\n");
  EXPECT_EQ(WEXITSTATUS(platform::run_shell("echo shell", out)), 0);
  std::fclose(out);
  EXPECT_EQ(read_file(spool), "first\nchild\nsecond\nshell\n");
  fs::remove_all(dir);
}

// The run's own stdout passed as `out`, or none: the output is where it was.
// The standard error stream as `out`: the child's output and error both land
// there, and neither is lost.
TEST(ChildOutput, StandardStreamsAsOutKeepTheirDescriptors) {
  fs::path dir = scratch("standard");
  int statuses[4] = {-1, -1, -1, -1};
  platform::WaitResult waited[2] = {platform::WaitResult::kFailed, platform::WaitResult::kFailed};
  Captured real = capture_std(dir, [&] {
    std::FILE* outs[2] = {stdout, nullptr};
    for (int i = 0; i < 2; ++i) {
      platform::Child child;
      int error = 0;
      if (platform::start_child("echo child" + std::to_string(i), child, error, outs[i])) {
        waited[i] = platform::wait_child(child, 60000);
        platform::close_child(child);
      }
      statuses[i] = platform::run_shell("echo shell" + std::to_string(i), outs[i]);
    }
    statuses[2] = platform::run_shell("echo shell-to-stderr; echo err >&2", stderr);
    platform::Child child;
    int error = 0;
    if (platform::start_child("echo child-to-stderr; echo err >&2", child, error, stderr)) {
      statuses[3] = platform::wait_child(child, 60000) == platform::WaitResult::kExited ? 0 : -1;
      platform::close_child(child);
    }
  });

  for (platform::WaitResult result : waited) EXPECT_EQ(result, platform::WaitResult::kExited);
  for (int status : statuses) EXPECT_EQ(status, 0);
  EXPECT_EQ(real.out, "child0\nshell0\nchild1\nshell1\n");
  EXPECT_EQ(real.err, "shell-to-stderr\nerr\nchild-to-stderr\nerr\n");
  fs::remove_all(dir);
}

TEST(ChildOutput, AStreamWithoutAFileIsRefused) {
  char buffer[64] = {};
  std::FILE* memory = fmemopen(buffer, sizeof(buffer), "w");
  ASSERT_NE(memory, nullptr);
  ASSERT_LT(fileno(memory), 0);
  platform::Child child;
  int error = 0;
  EXPECT_FALSE(platform::start_child("echo lost", child, error, memory));
  EXPECT_NE(error, 0);
  EXPECT_EQ(platform::run_shell("echo lost", memory), -1);
  std::fclose(memory);
}

// Collections side by side, one per worker thread, each with its own spool:
// every line a worker's children print is in its file, none in another's.
struct Collection {
  int index = 0;
  fs::path spool;
  bool started = false;
  bool sleeper_started = false;
  bool killed = false;
  int shell_status = -1;
};

constexpr int kCollections = 6;
constexpr int kLines = 40;

void collect(void* raw) {
  Collection* collection = static_cast<Collection*>(raw);
  std::FILE* out = open_spool(collection->spool);
  if (out == nullptr) return;
  const std::string tag = "c" + std::to_string(collection->index);
  std::fprintf(out, "%s header\n", tag.c_str());

  platform::Child child;
  int error = 0;
  collection->started =
      platform::start_child("i=0; while [ $i -lt " + std::to_string(kLines) + " ]; do echo " + tag +
                                " line $i; i=$((i+1)); done",
                            child, error, out);
  if (collection->started) {
    platform::wait_child(child, 60000);
    platform::close_child(child);
  }
  collection->shell_status = platform::run_shell("echo " + tag + " shell", out);

  // A command that hangs is killed with its tree, as a timed-out one is.
  platform::Child sleeper;
  collection->sleeper_started = platform::start_child("sleep 300", sleeper, error, out);
  if (collection->sleeper_started) {
    collection->killed = platform::kill_child_tree(sleeper, out);
    platform::close_child(sleeper);
  }
  std::fprintf(out, "%s footer\n", tag.c_str());
  std::fclose(out);
}

TEST(ChildOutput, ConcurrentCollectionsEachLandInTheirOwnFile) {
  fs::path dir = scratch("concurrent");
  Collection collections[kCollections];
  bool all_joined = true;
  Captured real = capture_std(dir, [&] {
    platform::Thread* threads[kCollections] = {};
    for (int i = 0; i < kCollections; ++i) {
      collections[i].index = i;
      collections[i].spool = dir / ("spool" + std::to_string(i));
      threads[i] = platform::start_thread(collect, &collections[i]);
    }
    for (platform::Thread* thread : threads) {
      if (thread == nullptr || !platform::join_thread(thread, 120000)) {
        all_joined = false;
        continue;
      }
      platform::close_thread(thread);
    }
  });
  ASSERT_TRUE(all_joined);
  EXPECT_EQ(real.out, "");

  for (const Collection& collection : collections) {
    SCOPED_TRACE(collection.index);
    EXPECT_TRUE(collection.started);
    EXPECT_TRUE(collection.sleeper_started);
    EXPECT_TRUE(collection.killed);
    EXPECT_EQ(collection.shell_status, 0);
    const std::string tag = "c" + std::to_string(collection.index);
    std::string expected = tag + " header\n";
    for (int line = 0; line < kLines; ++line) {
      expected += tag + " line " + std::to_string(line) + "\n";
    }
    expected += tag + " shell\n" + tag + " footer\n";
    EXPECT_EQ(read_file(collection.spool), expected);
  }
  fs::remove_all(dir);
}

}  // namespace
