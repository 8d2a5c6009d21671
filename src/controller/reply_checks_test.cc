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

namespace {

using controller::ReplyName;

// Names a controller could send that would run something, or leave their
// folder, if they reached a command line or a path.
const char* const kHostileNames[] = {
    "x\";touch${IFS}PWNED;\"",
    "$(touch PWNED)",
    "`id`",
    "a;b",
    "a|b",
    "a&b",
    "a>b",
    "a<b",
    "a b",
    "a\"b",
    "a'b",
    "%PATH%",
    "a^b",
    "a\\b",
    "a\nb",
    "a\tb",
    "..",
    ".",
    "...",
    "",
    "\xc3\xa9t\xc3\xa9",
};

TEST(ScreenReplyName, HostileNamesOfEveryKindAreLeftOut) {
  testing::internal::CaptureStderr();
  for (ReplyName kind : {ReplyName::kVolume, ReplyName::kVirtualController, ReplyName::kRootPath,
                         ReplyName::kInterface, ReplyName::kLogFile, ReplyName::kProfileFile,
                         ReplyName::kTraceFile}) {
    for (const char* name : kHostileNames) {
      EXPECT_FALSE(controller::screen_reply_name("hostile1", kind, name))
          << static_cast<int>(kind) << " " << name;
    }
    EXPECT_TRUE(controller::screen_reply_name("hostile1", kind, "plain_name-1.2"));
  }
  testing::internal::GetCapturedStderr();
}

TEST(ScreenReplyName, OnlyRootPathsMayHoldSlashes) {
  testing::internal::CaptureStderr();
  EXPECT_TRUE(controller::screen_reply_name("slash1", ReplyName::kRootPath, "/vol/vz1root"));
  EXPECT_FALSE(controller::screen_reply_name("slash1", ReplyName::kLogFile, "../../etc/passwd"));
  EXPECT_FALSE(controller::screen_reply_name("slash1", ReplyName::kInterface, "a/b"));
  testing::internal::GetCapturedStderr();
}

TEST(ScreenReplyName, LengthsUpToTheFieldAndOneWarningBeyond) {
  testing::internal::CaptureStderr();
  EXPECT_TRUE(controller::screen_reply_name("len1", ReplyName::kInterface, std::string(255, 'v')));
  EXPECT_FALSE(controller::screen_reply_name("len1", ReplyName::kInterface, std::string(256, 'v')));
  EXPECT_TRUE(
      controller::screen_reply_name("len1", ReplyName::kVirtualController, std::string(1023, 'z')));
  for (size_t size : {1024u, 5000u, 1000000u}) {
    EXPECT_FALSE(controller::screen_reply_name("len1", ReplyName::kVirtualController,
                                               std::string(size, 'z')));
  }
  std::string said = testing::internal::GetCapturedStderr();
  EXPECT_EQ(said,
            "WARNING: len1: virtual interface names longer than 255 characters are left out\n"
            "WARNING: len1: virtual controller names longer than 1023 characters are left out\n");
}

TEST(ScreenReplyName, TheWarningShowsAShortPrintableForm) {
  testing::internal::CaptureStderr();
  controller::screen_reply_name("show1", ReplyName::kLogFile, "a\x1b[2J" + std::string(500, ';'));
  std::string said = testing::internal::GetCapturedStderr();
  EXPECT_EQ(said.find('\x1b'), std::string::npos);
  EXPECT_LT(said.size(), 200u);
  EXPECT_NE(said.find("show1: log file \"a?[2J;;;"), std::string::npos) << said;
}

}  // namespace
