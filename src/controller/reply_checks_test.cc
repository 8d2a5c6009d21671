#include "controller/reply_checks.h"

#include <gtest/gtest.h>

namespace {

using Lines = std::vector<std::string>;

TEST(SplitPieces, EmptyPiecesVanish) {
  EXPECT_EQ(controller::split_pieces("options.vols..v1.x", '.'),
            (Lines{"options", "vols", "v1", "x"}));
  EXPECT_EQ(controller::split_pieces("  a  b ", ' '), (Lines{"a", "b"}));
  EXPECT_EQ(controller::split_pieces("", ' '), Lines{});
}

TEST(PlainWord, OnlyWordCharactersAndTheExtras) {
  EXPECT_TRUE(controller::is_plain_word("vol_1-a.b"));
  EXPECT_FALSE(controller::is_plain_word(""));
  EXPECT_FALSE(controller::is_plain_word("/vol/x"));
  EXPECT_TRUE(controller::is_plain_word("/vol/x", "/"));
  for (const char* bad : {"a b", "a\"b", "a&b", "a|b", "a<b", "a>b", "a^b", "a;b", "a$b", "a`b",
                          "a%b", "a'b", "a\\b", "a\tb"}) {
    EXPECT_FALSE(controller::is_plain_word(bad, "/")) << bad;
  }
}

TEST(Printable, ControlCharactersAreMasked) {
  EXPECT_EQ(controller::printable("a\x1b[2Jb\n\xff"), "a?[2Jb??");
}

TEST(WarnOnce, SameTextIsToldOnce) {
  testing::internal::CaptureStderr();
  controller::warn_once("warn-once test text");
  controller::warn_once("warn-once test text");
  controller::warn_once("warn-once other text");
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "WARNING: warn-once test text\nWARNING: warn-once other text\n");
}

}  // namespace
