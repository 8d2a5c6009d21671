#include "exec/wrappers.h"

#include <gtest/gtest.h>

#include <regex>

#include "core/state.h"
#include "platform/platform.h"

namespace {

TEST(ReplaceAll, ReplacesEveryOccurrence) {
  std::string text = "vzone run VZNAME df VZNAME";
  exec::replace_all(text, "VZNAME", "vz1");
  EXPECT_EQ(text, "vzone run vz1 df vz1");
}

TEST(ReplaceAll, ReplacementHoldingTheSearchTextEnds) {
  std::string text = "a VZNAME b";
  exec::replace_all(text, "VZNAME", "xVZNAMEx");
  EXPECT_EQ(text, "a xVZNAMEx b");
}

TEST(ReplaceAll, RemovesQuotesAndToleratesEmptySearch) {
  std::string text = "type \"C:\\a b\\c.out\"";
  exec::replace_all(text, "\"", "");
  EXPECT_EQ(text, "type C:\\a b\\c.out");
  exec::replace_all(text, "", "zz");
  EXPECT_EQ(text, "type C:\\a b\\c.out");
}

class FriendlyName : public ::testing::Test {
 protected:
  void SetUp() override {
    core::reset_state();
    const char sep = platform::shell::path_separator();
    temp_dir = std::string(1, sep) + "tmp" + sep + "kestrel" + sep + "1234" + sep;
    core::state().temp_dir = temp_dir;
  }
  std::string temp_dir;
};

TEST_F(FriendlyName, FileOfTheScratchFolderShowsItsBareName) {
  const char sep = platform::shell::path_separator();
  std::string command = platform::shell::type_file("\"" + temp_dir + "c1" + sep + "sysstat.out\"");
  EXPECT_EQ(exec::friendly_name(command), "sysstat.out");
}

TEST_F(FriendlyName, OtherCommandsKeepTheirTextAndQuotes) {
  EXPECT_EQ(exec::friendly_name("sysconfig -a"), "sysconfig -a");
  EXPECT_EQ(exec::friendly_name("stats show \"a b\""), "stats show \"a b\"");
  std::string outside = platform::shell::type_file("\"/etc/hosts\"");
  EXPECT_EQ(exec::friendly_name(outside), outside);
}

TEST(GmtTimestamp, HasTheReportForm) {
  std::regex form(R"([A-Z][a-z]{2} [A-Z][a-z]{2} \d{2} \d{2}:\d{2}:\d{2} GMT \d{4})");
  EXPECT_TRUE(std::regex_match(exec::gmt_timestamp(), form)) << exec::gmt_timestamp();
}

}  // namespace
