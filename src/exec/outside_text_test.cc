#include "exec/outside_text.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/platform.h"

namespace {

class OutsideText : public ::testing::Test {
 protected:
  void SetUp() override {
    static int count = 0;
    path_ = (std::filesystem::temp_directory_path() /
             ("kestrel-outside-" + std::to_string(platform::current_process_id()) + "-" +
              std::to_string(++count)))
                .string();
    write("");
  }
  void TearDown() override { std::remove(path_.c_str()); }

  void write(const std::string& text) { std::ofstream(path_, std::ios::binary) << text; }

  std::string read_back() {
    std::ifstream in(path_, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

  // What copy_outside_text makes of `text`.
  std::string copied(const std::string& text) {
    write(text);
    std::FILE* out = std::tmpfile();
    bool out_failed = true;
    EXPECT_TRUE(exec::copy_outside_text(path_, out, out_failed));
    EXPECT_FALSE(out_failed);
    std::rewind(out);
    std::string result;
    char buffer[4096];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, out)) > 0) result.append(buffer, got);
    std::fclose(out);
    return result;
  }

  std::string path_;
};

TEST(MarkerEscape, OnlyLinesThatStartLikeAMarkerOrItsEscape) {
  EXPECT_TRUE(exec::needs_marker_escape("=-=-=-=-=-= CONFIG c1 PRESTATS =-=-=-=-=-= x\n"));
  EXPECT_TRUE(exec::needs_marker_escape("=-=-= Kestrel Execution Statistics -=-=-=-=\n"));
  EXPECT_TRUE(exec::needs_marker_escape("\\=-=-=-=-=-= escaped once already\n"));
  EXPECT_TRUE(exec::needs_marker_escape("\\\\\\=-=-="));
  EXPECT_FALSE(exec::needs_marker_escape(" =-=-=-=-=-= indented\n"));
  EXPECT_FALSE(exec::needs_marker_escape("=-=-"));
  EXPECT_FALSE(exec::needs_marker_escape("\\\\\\\n"));
  EXPECT_FALSE(exec::needs_marker_escape("vol0 =-=-=-=-=-= inside\n"));
  EXPECT_FALSE(exec::needs_marker_escape(""));
}

TEST_F(OutsideText, ForgedMarkerLinesGetOneMoreBackslash) {
  const std::string reply =
      "Volume vol0\n"
      "=-=-=-=-=-= CONFIG fake PRESTATS =-=-=-=-=-= sysconfig\n"
      "\\=-=-=-=-=-= already escaped\n"
      "=-=-= Kestrel Execution Statistics -=-=-=-=\n"
      "x =-=-=-=-=-= not at the start\n"
      "=-=-=";  // no line end
  EXPECT_EQ(copied(reply),
            "Volume vol0\n"
            "\\=-=-=-=-=-= CONFIG fake PRESTATS =-=-=-=-=-= sysconfig\n"
            "\\\\=-=-=-=-=-= already escaped\n"
            "\\=-=-= Kestrel Execution Statistics -=-=-=-=\n"
            "x =-=-=-=-=-= not at the start\n"
            "\\=-=-=");
}

TEST_F(OutsideText, LinesAcrossTheReadBufferAreJudgedWhole) {
  // A marker-shaped line whose start falls just before the end of the first
  // 64 KiB read, and one that follows a line longer than the buffer.
  std::string first(65536 - 3, 'a');
  first += "\n";  // the next line starts two bytes before the buffer ends
  std::string second = "=-=-=-=-=-= ERROR LOG\n";
  std::string long_line(200000, 'b');
  long_line += "=-=-=-=-=-= in the middle\n";
  std::string third = "\\\\=-=-= after\n";
  EXPECT_EQ(copied(first + second + long_line + third),
            first + "\\" + second + long_line + "\\" + third);
}

TEST_F(OutsideText, BinaryBytesAndEmptyFilesPassUnchanged) {
  const std::string binary("a\0b\n\0=-=-=\n\r\n", 13);
  EXPECT_EQ(copied(binary), binary);
  EXPECT_EQ(copied(""), "");
}

TEST_F(OutsideText, CutGoesBackToALineEndAndSaysSo) {
  write("line one\nline two\nline three is long\n");
  std::string note = exec::cut_file_at_cap(path_, 24, "The sampler vif stat");
  EXPECT_EQ(note,
            "WARNING: The sampler vif stat sent more than 24 bytes; the rest was dropped here");
  EXPECT_EQ(read_back(), "line one\nline two\n" + note + "\n");
}

TEST_F(OutsideText, CutWithoutAnyLineEndStillEndsTheLineBeforeTheNote) {
  write(std::string(100, 'z'));
  std::string note = exec::cut_file_at_cap(path_, 10, "x");
  EXPECT_EQ(read_back(), std::string(10, 'z') + "\n" + note + "\n");
}

TEST_F(OutsideText, AFloodingChildIsCaughtAtTheCap) {
  platform::Child child;
  int error = 0;
  ASSERT_TRUE(platform::start_child("yes flood >> '" + path_ + "'", child, error));
  const std::vector<exec::WatchedFile> watched = {{path_ + ".none", 1}, {path_, 1 << 20}};
  EXPECT_EQ(exec::wait_watching(child, 60000, nullptr, watched, 20), exec::Watched::kOverCap);
  EXPECT_TRUE(platform::kill_child_tree(child));
  platform::close_child(child);
  const std::vector<std::string> notes = exec::cut_files_over_cap(watched, "yes");
  ASSERT_EQ(notes.size(), 1u);
  EXPECT_LE(exec::file_size_or_zero(path_), (1u << 20) + notes[0].size() + 1);
}

TEST_F(OutsideText, AChildThatWritesPastTheCapAndEndsIsCutAfterwards) {
  platform::Child child;
  int error = 0;
  ASSERT_TRUE(platform::start_child("head -c 5000 /dev/zero > '" + path_ + "'", child, error));
  const std::vector<exec::WatchedFile> watched = {{path_, 1000}};
  exec::wait_watching(child, 60000, nullptr, watched, 60000);
  platform::close_child(child);
  EXPECT_EQ(exec::cut_files_over_cap(watched, "head").size(), 1u);
  EXPECT_LT(exec::file_size_or_zero(path_), 1200u);
}

TEST_F(OutsideText, AQuietChildEndsOrTimesOutAsWithoutWatching) {
  platform::Child child;
  int error = 0;
  const std::vector<exec::WatchedFile> watched = {{path_}};
  ASSERT_TRUE(platform::start_child("printf 'ok\\n' > '" + path_ + "'", child, error));
  EXPECT_EQ(exec::wait_watching(child, 60000, nullptr, watched, 20), exec::Watched::kExited);
  EXPECT_TRUE(exec::cut_files_over_cap(watched, "printf").empty());
  platform::close_child(child);
  ASSERT_TRUE(platform::start_child("sleep 30", child, error));
  EXPECT_EQ(exec::wait_watching(child, 100, nullptr, watched, 20), exec::Watched::kTimedOut);
  EXPECT_TRUE(platform::kill_child_tree(child));
  platform::close_child(child);
}

}  // namespace
