#include "run/usage.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "core/state.h"
#include "run/test_streams.h"
#include "run/usage_internal.h"

namespace run {
namespace {

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream stream(text);
  std::string line;
  while (std::getline(stream, line)) lines.push_back(line);
  return lines;
}

std::string written_by(void (*write)(std::FILE*)) {
  std::FILE* file = std::tmpfile();
  write(file);
  return read_all(file);
}

TEST(UsageText, OpensWithVersionAndClosesWithEarlyTerminationNote) {
  const std::string& text = usage_text();
  ASSERT_FALSE(text.empty());
  EXPECT_EQ(text.back(), '\n');
  std::vector<std::string> lines = lines_of(text);
  ASSERT_EQ(lines.size(), 108u);
  EXPECT_EQ(lines.front(), "Kestrel: Version 7.38 10-2012");
  EXPECT_EQ(lines[1], "   - kestrel.exe is a tool for capturing performance");
  EXPECT_EQ(lines.back(), "   of the total runtime, please use the '-I' option.");
}

TEST(UsageText, KeepsTheOneLineThatEndsInABlank) {
  std::vector<std::string> ending_in_blank;
  for (const std::string& line : lines_of(usage_text())) {
    if (!line.empty() && line.back() == ' ') ending_in_blank.push_back(line);
  }
  ASSERT_EQ(ending_in_blank.size(), 1u);
  EXPECT_EQ(ending_in_blank[0],
            "         [-i n[,m]] (repeat n times with m minutes between samples, ");
  EXPECT_EQ(usage_text().find("         [-i n[,m]] (repeat n times with m minutes between "
                              "samples, \n                     defaults: n=1,m=0)\n"),
            usage_text().find("         [-i n[,m]]"));
}

TEST(UsageText, NamesTheClientDownloadLocation) {
  EXPECT_NE(
      usage_text().find("    plink and puttygen are available for free download at\n"
                        "    https://www.chiark.greenend.org.uk/~sgtatham/putty/latest.html\n"
                        "    Additionally, the -l option can be used to specify usernames for\n"),
      std::string::npos);
}

TEST(UsageText, BlocksAreSeparatedByBlankLines) {
  std::vector<std::string> lines = lines_of(usage_text());
  auto index_of = [&](const std::string& wanted) {
    for (size_t i = 0; i < lines.size(); ++i) {
      if (lines[i] == wanted) return static_cast<int>(i);
    }
    return -1;
  };
  int basic = index_of("Usage: (basic options list)");
  int complete = index_of("Usage: (more complete options list)");
  int notes = index_of("Notes:");
  ASSERT_GT(basic, 0);
  ASSERT_GT(complete, basic);
  ASSERT_GT(notes, complete);
  EXPECT_EQ(lines[basic - 1], "");
  EXPECT_EQ(lines[complete - 1], "");
  EXPECT_EQ(lines[notes - 1],
            "         [-y] (force kestrel to execute only critical set of commands)");
  EXPECT_EQ(lines[complete + 1], " kestrel");
  for (const std::string& line : lines) EXPECT_EQ(line.find('\t'), std::string::npos) << line;
}

TEST(UsageText, WriteUsageWritesTheWholeText) {
  EXPECT_EQ(written_by(write_usage), usage_text());
}

TEST(UsageVersion, BannerUnlessQuiet) {
  core::reset_state();
  EXPECT_EQ(written_by(write_version_line), "Kestrel v7.38 (10-2012)\n");
  core::state().options.quiet = true;
  EXPECT_EQ(written_by(write_version_line), "");
  core::reset_state();
  EXPECT_STREQ(kVersionNumber, "7.38");
  EXPECT_STREQ(kVersionDate, "10-2012");
}

}  // namespace
}  // namespace run
