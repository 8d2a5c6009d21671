#include "samplers/profiles.h"

#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "samplers/profile_trace_files.h"
#include "samplers/samplers_test_support.h"
#include "samplers/wait.h"

namespace samplers {
namespace {

using samplers_test::options_from;
using Names = std::vector<std::string>;

std::string with_separator(std::string path) {
  for (char& c : path) {
    if (c == '/') c = platform::shell::path_separator();
  }
  return path;
}

TEST(ProfileTime, SamplingTimeSharedAmongProfiles) {
  EXPECT_EQ(seconds_per_profile(118, 1), 113);
  EXPECT_EQ(seconds_per_profile(110, 2), 50);
  EXPECT_EQ(seconds_per_profile(58, 2), 24);
  EXPECT_EQ(seconds_per_profile(110, 3), 31);  // integer division before the 5 seconds
}

TEST(ProfileTime, NeverBelowTheShortestProfile) {
  EXPECT_EQ(seconds_per_profile(58, 12), kMinProfileSeconds);
  EXPECT_EQ(seconds_per_profile(5, 1), kMinProfileSeconds);
  EXPECT_EQ(seconds_per_profile(58, 100), kMinProfileSeconds);
  EXPECT_EQ(seconds_per_profile(58, 0), 53);
}

TEST(CopyStamp, FieldsWithoutLeadingZeros) {
  std::tm t{};
  t.tm_year = 126;  // 2026
  t.tm_mon = 11;    // December
  t.tm_mday = 7;
  t.tm_hour = 18;
  t.tm_min = 5;
  t.tm_sec = 3;
  EXPECT_EQ(copy_stamp(t), "1261171853");
  t = std::tm{};
  t.tm_year = 100;
  t.tm_mday = 1;
  EXPECT_EQ(copy_stamp(t), "10001000");
}

TEST(CopyStamp, TraceFolderStampsOfOneDayNeverCollide) {
  std::tm early{};
  early.tm_year = 126;
  early.tm_mon = 0;
  early.tm_mday = 1;
  early.tm_hour = 1;
  early.tm_min = 11;
  early.tm_sec = 5;
  std::tm late = early;
  late.tm_hour = 11;
  late.tm_min = 1;
  EXPECT_EQ(copy_stamp(early), copy_stamp(late));  // why copy names keep their form only
  EXPECT_EQ(padded_stamp(early), "1260001011105");
  EXPECT_EQ(padded_stamp(late), "1260001110105");
  EXPECT_NE(padded_stamp(early), padded_stamp(late));
}

// Copies into a private folder of a scratch place, with a small cap.
class SavedCopies : public ::testing::Test {
 protected:
  void SetUp() override {
    options_from({"-t", "1", "-f", "f1"});
    char pattern[] = "/tmp/kestrel_saved_copies_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    folder_ = std::string(pattern) + "/gmon";
    ASSERT_EQ(platform::open_private_folder(folder_), "");
  }
  void TearDown() override {
    std::filesystem::remove_all(std::filesystem::path(folder_).parent_path());
  }
  std::string read(const std::string& name) const {
    std::ifstream in(folder_ + "/" + name, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
  }
  std::string folder_;
  std::string told_;
};

TEST_F(SavedCopies, AFloodIsCutAtTheCapWithALastLineSayingSo) {
  EXPECT_EQ(save_command_output("yes flood", folder_, "big", told_, 60), CopyResult::kCut);
  const std::string text = read("big");
  EXPECT_EQ(text.substr(0, 12), "flood\nflood\n");
  EXPECT_EQ(text.size(), 60 + 2 + cut_copy_line(60).size());
  EXPECT_EQ(text.substr(text.size() - cut_copy_line(60).size() - 1), cut_copy_line(60) + "\n");
  EXPECT_NE(told_.find("was cut at 60 bytes"), std::string::npos);

  EXPECT_EQ(save_command_output("printf 'small\\n'", folder_, "small", told_, 60),
            CopyResult::kSaved);
  EXPECT_EQ(read("small"), "small\n");
}

TEST_F(SavedCopies, AFailedCopyLeavesNoFile) {
  EXPECT_EQ(save_command_output("printf part; exit 1", folder_, "failed", told_, 60),
            CopyResult::kFailed);
  EXPECT_NE(told_.find("failed: the command failed"), std::string::npos);
  EXPECT_EQ(save_command_output("true", folder_, "empty", told_, 60), CopyResult::kFailed);
  EXPECT_EQ(save_file_copy(folder_ + "/missing", folder_, "copy", told_, 60), CopyResult::kFailed);
  EXPECT_TRUE(std::filesystem::is_empty(folder_));
}

TEST(ProfilePaths, InTheGmonFolderOfTheWorkingFolder) {
  EXPECT_EQ(profile_info_path("f1", 2), with_separator("./gmon/f1_2_profile_info.txt"));
  EXPECT_EQ(profile_copy_path("f1", "1261171853", 2, "gmon.1.flat"),
            with_separator("./gmon/f1_1261171853_2_gmon.1.flat"));
}

TEST(ProfileGates, OnlyWhenProfilesAreSampled) {
  EXPECT_TRUE(profiles_wanted(options_from({"-P", "flat", "-f", "c1"})));
  EXPECT_FALSE(profiles_wanted(options_from({"-f", "c1"})));
  EXPECT_FALSE(profiles_wanted(options_from({"-P", "flat", "-c", "-f", "c1"})));
  EXPECT_FALSE(profiles_wanted(options_from({"-P", "flat", "-x", "-f", "c1"})));
  EXPECT_FALSE(profiles_wanted(options_from({"-P", "flat", "-t", "0", "-f", "c1"})));
}

// The command line refuses such values; should one reach the capture all
// the same, it is refused there before anything runs: no command, no worker.
TEST(ProfileGates, ValueACommandLineCannotCarryIsRefused) {
  for (const char* value : {"flat&calc", "a|b", "x\"y", "%PATH%", "a b"}) {
    options_from({"-P", "flat", "-f", "c1"});
    core::RunState& st = core::state();
    st.options.profiles = {value};
    st.options.profile_list = value;
    st.filers.emplace_back();
    st.filers.back().name = "c1";
    core::Collection collection;
    collection.filer = &st.filers[0];
    testing::internal::CaptureStderr();
    setup_profile_capture(collection);
    collect_profile_files(collection);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("WARNING: The -P value"), std::string::npos) << value;
    EXPECT_NE(err.find("profiles are not captured"), std::string::npos) << value;
    EXPECT_EQ(background_thread_count(), 0) << value;
  }
}

class ListedNames : public testing::Test {
 protected:
  void SetUp() override { core::reset_state(); }
};

TEST_F(ListedNames, NamesCutAtTheFirstBlankThatHoldTheWord) {
  const Names listing = {".",           "..",         "gmon.1.flat   4096", "etc",
                         "gmon.2.net",  "xgmonx",     "messages gmon",      "",
                         "sktrace_old", "gmon.3.raid"};
  EXPECT_EQ(listed_names("f1", listing, "gmon", controller::ReplyName::kProfileFile),
            (Names{"gmon.1.flat", "gmon.2.net", "xgmonx", "gmon.3.raid"}));
  EXPECT_EQ(listed_names("f1", listing, "sktrace", controller::ReplyName::kTraceFile),
            Names{"sktrace_old"});
}

TEST_F(ListedNames, NamesThatCouldLeaveTheFolderAreLeftOut) {
  const Names listing = {"../gmon.escape", "..\\gmon.escape", "C:gmon",     "sub/gmon.1",
                         "gmon$(reboot)",  "gmon\"&calc",     "gmon%TEMP%", "gmon\x1b[2J",
                         "gmon.ok",        "/etc/gmon",       "..gmon..",   "gmon|x"};
  testing::internal::CaptureStderr();
  const Names kept = listed_names("f1", listing, "gmon", controller::ReplyName::kProfileFile);
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(kept, (Names{"gmon.ok", "..gmon.."}));
  EXPECT_NE(err.find("WARNING: f1: profile file \"../gmon.escape\""), std::string::npos);
  EXPECT_NE(err.find("\"C:gmon\""), std::string::npos);
  EXPECT_NE(err.find("\"gmon?[2J\""), std::string::npos);
}

TEST_F(ListedNames, AtMost99NamesWithOneWarning) {
  Names listing;
  for (int i = 0; i < 150; ++i) listing.push_back("gmon." + std::to_string(i));
  testing::internal::CaptureStderr();
  const Names kept = listed_names("f1", listing, "gmon", controller::ReplyName::kProfileFile);
  listed_names("f1", listing, "gmon", controller::ReplyName::kProfileFile);
  const std::string err = testing::internal::GetCapturedStderr();
  ASSERT_EQ(kept.size(), kMaxListedFiles);
  EXPECT_EQ(kept.front(), "gmon.0");
  EXPECT_EQ(kept.back(), "gmon.98");
  EXPECT_EQ(err, "WARNING: f1: more than 99 gmon files listed; only the first 99 are copied\n");
}

TEST_F(ListedNames, ExactlyNinetyNineNamesNeedNoWarning) {
  Names listing;
  for (int i = 0; i < 99; ++i) listing.push_back("sktrace." + std::to_string(i));
  testing::internal::CaptureStderr();
  EXPECT_EQ(listed_names("f1", listing, "sktrace", controller::ReplyName::kTraceFile).size(), 99u);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

}  // namespace
}  // namespace samplers
