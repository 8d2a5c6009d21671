#include "core/report_stream.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "core/state.h"
#include "core/test_scratch.h"
#include "platform/platform.h"
#include "platform/threads.h"

namespace core {
namespace {

bool exists(const std::string& path) {
  return std::ifstream(path).good();
}

// Waits for `done` with a generous deadline; the test fails (not hangs)
// when it never comes.
template <typename Condition>
bool eventually(Condition done) {
  const std::int64_t deadline = platform::monotonic_ms() + 20000;
  while (!done()) {
    if (platform::monotonic_ms() > deadline) return false;
    platform::sleep_ms(5);
  }
  return true;
}

class ReportStreamTest : public ::testing::Test {
 protected:
  void SetUp() override {
    reset_state();
    scratch = test_scratch("report_stream",
                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    for (int i = 0; i < 3; ++i)
      paths.push_back((scratch / ("spool_" + std::to_string(i))).string());
  }
  void TearDown() override { std::filesystem::remove_all(scratch); }
  std::filesystem::path scratch;
  std::vector<std::string> paths;
};

TEST_F(ReportStreamTest, SpoolsReachTheReportWholeAndInOrderWhateverOrderTheyFinishIn) {
  ::testing::internal::CaptureStdout();
  {
    ReportStream stream(paths);
    std::fputs("second: a\n", stream.spool(1));
    std::fputs("third\n", stream.spool(2));
    std::fputs("first\n", stream.spool(0));
    std::fputs("second: b\n", stream.spool(1));
    stream.finish(2);
    stream.finish(1);
    stream.finish(0);
    EXPECT_EQ(stream.copy_in_order(), ReportStream::Outcome::kAllCopied);
  }
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "first\nsecond: a\nsecond: b\nthird\n");
  for (const std::string& path : paths) EXPECT_FALSE(exists(path)) << path;
}

TEST_F(ReportStreamTest, ASpoolIsCopiedOnceItAndAllBeforeItAreDone) {
  ReportStream stream(paths);
  std::fputs("one\n", stream.spool(0));
  std::fputs("two\n", stream.spool(1));
  std::thread copier([&stream] { stream.copy_in_order(); });
  stream.finish(1);
  stream.finish(0);
  // The first two are copied (and removed) while the third still runs.
  EXPECT_TRUE(eventually([&] { return !exists(paths[1]); }));
  EXPECT_FALSE(exists(paths[0]));
  EXPECT_TRUE(exists(paths[2]));
  stream.finish(2);
  copier.join();
  EXPECT_FALSE(exists(paths[2]));
}

// The interrupt handler and the exit routine: what was written so far,
// finished or not, reaches the report in order, and the main thread's copy
// returns instead of waiting for collections that will not finish.
TEST_F(ReportStreamTest, FlushCopiesWhatIsThereInOrderAndEndsTheCopy) {
  ::testing::internal::CaptureStdout();
  {
    ReportStream stream(paths);
    std::fputs("done\n", stream.spool(1));
    std::fputs("half of the fir", stream.spool(0));
    stream.finish(1);
    ReportStream::Outcome outcome = ReportStream::Outcome::kAllCopied;
    std::thread copier([&] { outcome = stream.copy_in_order(); });
    flush_active_report_stream();
    copier.join();
    EXPECT_EQ(outcome, ReportStream::Outcome::kFlushed);
    std::fputs("too late\n", stream.spool(2));
    stream.finish(2);
    EXPECT_EQ(stream.copy_in_order(), ReportStream::Outcome::kFlushed);
    flush_active_report_stream();  // once only
  }
  // The cut line ends before the next collection's text begins, so its
  // first marker starts a line of its own.
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "half of the fir\ndone\n");
  flush_active_report_stream();  // no stream: nothing happens
}

// A worker still writing is not cut mid-line: the flush waits until every
// worker has stopped at a gate or finished.
TEST_F(ReportStreamTest, FlushWaitsForEveryWorkerToPark) {
  ::testing::internal::CaptureStdout();
  {
    ReportStream stream(paths);
    stream.worker_started();
    stream.worker_started();
    stream.worker_parked();  // the first is done; the second still writes
    std::fputs("EXE-TIME of: x", stream.spool(0));
    std::thread flusher([] { flush_active_report_stream(); });
    platform::sleep_ms(300);
    EXPECT_TRUE(exists(paths[0])) << "flushed while a worker was writing";
    std::fputs(" : 1 seconds\n", stream.spool(0));
    stream.worker_parked();
    flusher.join();
  }
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "EXE-TIME of: x : 1 seconds\n");
}

// A collection that cannot go on ends the run as it would have one after the
// other: those before it reach the report, then its own text, and no later
// one, whatever finished first.
TEST_F(ReportStreamTest, AFailedCollectionEndsTheCopyAfterItsOwnText) {
  ::testing::internal::CaptureStdout();
  ReportStream::Outcome outcome = ReportStream::Outcome::kAllCopied;
  int status = 0;
  {
    ReportStream stream(paths);
    std::fputs("later, done first\n", stream.spool(2));
    stream.finish(2);
    std::fputs("failing\n", stream.spool(1));
    stream.fail(1, 3);
    std::fputs("first\n", stream.spool(0));
    stream.finish(0);
    outcome = stream.copy_in_order();
    status = stream.failed_status();
  }
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "first\nfailing\n");
  EXPECT_EQ(outcome, ReportStream::Outcome::kFailed);
  EXPECT_EQ(status, 3);
}

// A spool on a full file system: the text it lost must end the run with
// status 1 and say so, not leave a report without that controller.
TEST_F(ReportStreamTest, ASpoolThatCannotBeWrittenEndsTheRunWithStatusOne) {
  // The spool is a link to a device that is always full; removing the
  // spool removes only the link.
  std::filesystem::create_symlink("/dev/full", paths[1]);
  EXPECT_EXIT(
      {
        ReportStream stream(paths);
        std::fputs("first\n", stream.spool(0));
        std::fputs("lost on the full disk\n", stream.spool(1));
        std::fputs("third\n", stream.spool(2));
        for (size_t i = 0; i < 3; ++i) stream.finish(i);
        stream.copy_in_order();
        std::exit(0);
      },
      ::testing::ExitedWithCode(1), "Cannot write .*spool_1.*\n.*lost text of a controller");
}

}  // namespace
}  // namespace core
