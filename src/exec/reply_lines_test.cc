#include "exec/reply_lines.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

TEST(ReplyLines, LongLinesAreCutAndTheNextLineIsIntact) {
  std::stringstream reply(std::string(10 * 1000 * 1000, 'x') + "\nsecond\r\nlast");
  bool truncated = false;
  std::vector<std::string> lines = exec::read_reply_lines(reply, truncated);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], std::string(exec::kReplyLineLimit, 'x'));
  EXPECT_EQ(lines[1], "second");
  EXPECT_EQ(lines[2], "last");
  EXPECT_TRUE(truncated);
}

TEST(ReplyLines, OrdinaryRepliesAreReadWhole) {
  std::stringstream reply("a\n\nb\n");
  bool truncated = true;
  EXPECT_EQ(exec::read_reply_lines(reply, truncated), (std::vector<std::string>{"a", "", "b"}));
  EXPECT_FALSE(truncated);
  std::stringstream empty("");
  EXPECT_TRUE(exec::read_reply_lines(empty, truncated).empty());
}

TEST(ReplyLines, EndlessRepliesStopAtTheLineBudget) {
  std::string many;
  for (size_t i = 0; i < exec::kReplyMaxLines + 10; ++i) many += "l\n";
  std::stringstream reply(many);
  bool truncated = false;
  EXPECT_EQ(exec::read_reply_lines(reply, truncated).size(), exec::kReplyMaxLines);
  EXPECT_TRUE(truncated);
}

TEST(ReplyLines, BoundedLineKeepsBytesAsTheyAre) {
  std::stringstream reply(std::string("a\0b\r\n", 5) + "xyz");
  std::string line;
  bool cut = true;
  ASSERT_TRUE(exec::read_bounded_line(reply, line, cut, 3));
  EXPECT_EQ(line, std::string("a\0b", 3));
  EXPECT_TRUE(cut) << "the '\\r' beyond the limit was cut";
  ASSERT_TRUE(exec::read_bounded_line(reply, line, cut, 3));
  EXPECT_EQ(line, "xyz");
  EXPECT_FALSE(cut);
  EXPECT_FALSE(exec::read_bounded_line(reply, line, cut, 3));
}

}  // namespace
