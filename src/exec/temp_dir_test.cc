#include "exec/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

#include "core/state.h"
#include "exec/slow_log.h"
#include "platform/platform.h"

namespace fs = std::filesystem;

namespace {

class ErrorLog : public ::testing::Test {
 protected:
  void SetUp() override {
    core::reset_state();
    folder =
        fs::temp_directory_path() /
        ("kestrel_log_test_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
         "_" + std::to_string(platform::current_process_id()));
    fs::create_directories(folder);
    core::state().error_log_path = (folder / "error.log").string();
    core::state().log_mutex = platform::create_mutex();
  }
  void TearDown() override {
    platform::close_mutex(core::state().log_mutex);
    fs::remove_all(folder);
  }
  std::string log_text() {
    std::ifstream in(core::state().error_log_path);
    std::stringstream all;
    all << in.rdbuf();
    return all.str();
  }
  fs::path folder;
};

TEST_F(ErrorLog, EveryLineStartsWithTheUtcStampAndSeparator) {
  exec::append_error_log("first");
  exec::append_error_log("second line");
  std::regex line(
      R"([A-Z][a-z]{2} [A-Z][a-z]{2} \d{2} \d{2}:\d{2}:\d{2} GMT \d{4} : (first|second line))");
  std::istringstream lines(log_text());
  std::string text;
  int count = 0;
  while (std::getline(lines, text)) {
    EXPECT_TRUE(std::regex_match(text, line)) << text;
    ++count;
  }
  EXPECT_EQ(count, 2);
}

TEST_F(ErrorLog, HeldMutexDropsTheLineWithAWarningWhileSamplersRun) {
  core::state().background_running = true;
  std::thread holder([&] {
    ASSERT_EQ(platform::lock_mutex(core::state().log_mutex, 1000), platform::LockResult::kAcquired);
    platform::sleep_ms(5600);
    platform::unlock_mutex(core::state().log_mutex);
  });
  platform::sleep_ms(200);
  testing::internal::CaptureStderr();
  exec::append_error_log("lost");
  std::string warning = testing::internal::GetCapturedStderr();
  holder.join();
  EXPECT_EQ(warning,
            "WARNING: Timed out waiting for error log mutex. Some error messages may be lost...\n");
  EXPECT_EQ(log_text().find("lost"), std::string::npos);

  exec::append_error_log("kept");
  EXPECT_NE(log_text().find("kept"), std::string::npos);
}

TEST_F(ErrorLog, AbandonedMutexIsReportedAndReleased) {
  core::state().background_running = true;
  std::thread quitter([&] { platform::lock_mutex(core::state().log_mutex, 1000); });
  quitter.join();  // ends while owning the mutex
  testing::internal::CaptureStderr();
  exec::append_error_log("dropped");
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "WARNING: A background process was unable to acquire error log mutex\n");
  exec::append_error_log("after");
  std::string text = log_text();
  EXPECT_EQ(text.find("dropped"), std::string::npos);
  EXPECT_NE(text.find("after"), std::string::npos);
}

TEST_F(ErrorLog, UnopenableLogIsReportedAndTheLineDropped) {
  core::state().error_log_path = (folder / "missing" / "error.log").string();
  testing::internal::CaptureStderr();
  exec::append_error_log("nowhere");
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "FATAL: Cannot open error_log " + core::state().error_log_path + " for writing.\n");
}

TEST_F(ErrorLog, SlowCommandReportFramesItsTable) {
  exec::print_slow_command_report();
  exec::add_slow_command("sysconfig -a", "c1", 2, 61);
  exec::print_slow_command_report();
  std::string text = log_text();
  EXPECT_NE(
      text.find(" : === Report of Commands that took longer than 60 seconds to execute ===\n"),
      std::string::npos);
  EXPECT_NE(text.find(" : Host\t\tIteration\t\tTotal_Time\t\tCommand\n"), std::string::npos);
  EXPECT_NE(text.find(" : c1\t\t2\t\t61s\t\tsysconfig -a\n"), std::string::npos);
  EXPECT_NE(text.find(" : === End Command Report ===\n"), std::string::npos);
}

}  // namespace

namespace {

// /dev/full accepts the open and fails every write with ENOSPC, as a full
// scratch disk does.
class FullDisk : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    core::reset_state();
    core::state().log_mutex = platform::create_mutex();
  }
  void TearDown() override { platform::close_mutex(core::state().log_mutex); }
};

TEST_F(FullDisk, ErrorLogLinesThatCannotBeWrittenAreToldOncePerFile) {
  core::state().error_log_path = "/dev/full";
  testing::internal::CaptureStderr();
  exec::append_error_log("first");
  exec::append_error_log("second");
  std::string said = testing::internal::GetCapturedStderr();
  EXPECT_EQ(said, "ERROR: Cannot write \"/dev/full\": No space left on device\n");
}

TEST_F(FullDisk, ReplyFilesAreProvedWritableBeforeAQuery) {
  testing::internal::CaptureStderr();
  EXPECT_FALSE(exec::probe_writable("/dev/full"));
  EXPECT_FALSE(exec::probe_writable("/no/such/folder/tmp.out"));
  std::string said = testing::internal::GetCapturedStderr();
  EXPECT_NE(said.find("\"/no/such/folder/tmp.out\": No such file or directory"), std::string::npos)
      << said;

  fs::path good = fs::temp_directory_path() /
                  ("kestrel_probe_" + std::to_string(platform::current_process_id()));
  EXPECT_TRUE(exec::probe_writable(good.string()));
  EXPECT_EQ(fs::file_size(good), 0u) << "left empty for the reply";
  fs::remove(good);
}

// A relative temp root, even one that reads as an option, is taken from the
// current folder.
TEST(TempRoot, RelativeRootBecomesAbsolute) {
  const std::string sep(1, platform::shell::path_separator());
  const std::string here = fs::current_path().string();
  for (const std::string& tmp : {std::string("-rf"), "-rf" + sep, std::string("sub") + sep + "x"}) {
    std::optional<std::string> root = exec::absolute_temp_root(tmp);
    ASSERT_TRUE(root.has_value());
    std::string expected = tmp;
    if (expected.back() == sep[0]) expected.pop_back();
    EXPECT_EQ(*root, here + sep + expected);
    EXPECT_TRUE(fs::path(*root).is_absolute()) << *root;
    EXPECT_NE(root->front(), '-');
  }
  const std::string absolute = (fs::temp_directory_path() / "k1").string();
  EXPECT_EQ(exec::absolute_temp_root(absolute), absolute);
  EXPECT_EQ(exec::absolute_temp_root(absolute + sep), absolute);
}

}  // namespace
