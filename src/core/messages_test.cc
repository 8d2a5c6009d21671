#include "core/messages.h"

#include <gtest/gtest.h>

#include <string>

#include "core/state.h"

namespace {

// ESC, BEL, a CSI sequence (7-bit and 8-bit), a carriage return that would
// overwrite the line, and UTF-8 bytes.
const std::string kHostile =
    "a\x1b]0;title\x07 b\x1b[2J c\x9b"
    "31m d\re \xc3\xa9\n";
const std::string kShown = "a?]0;title? b?[2J c?31m d?e ??\n";

TEST(PrintableText, ControlAndNonAsciiBytesBecomeQuestionMarks) {
  EXPECT_EQ(core::printable_text(kHostile), kShown);
  EXPECT_EQ(core::printable_text("plain text\nsecond line\n"), "plain text\nsecond line\n");
  EXPECT_EQ(core::printable_text(std::string("nul\0tab\tdel\x7f", 12)), "nul?tab?del?");
}

// Every function that writes on standard error screens its whole text, so no
// caller can pass a controller's escape through.
TEST(PrintableText, EveryStandardErrorFunctionScreensItsText) {
  core::reset_state();
  core::state().options.debug = true;
  testing::internal::CaptureStderr();
  core::error_line(kHostile);
  core::progress(kHostile);
  core::debug_line(kHostile);
  core::debug_line("Copying file", kHostile);
  const std::string err = testing::internal::GetCapturedStderr();
  core::reset_state();
  EXPECT_EQ(err, kShown + "\n" + kShown + "DEBUG: " + kShown + "\n" +
                     "DEBUG: Copying file: " + kShown + "\n");
  for (char c : err) {
    const unsigned char code = static_cast<unsigned char>(c);
    EXPECT_TRUE(c == '\n' || (code >= 0x20 && code < 0x7f)) << static_cast<int>(code);
  }
}

}  // namespace
