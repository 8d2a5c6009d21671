#include "report/pack.h"

#include <gtest/gtest.h>

#include <random>
#include <sstream>

#include "report/output.h"
#include "report/report.h"
#include "report/test_report.h"

namespace {

std::string random_bytes(std::size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(random() & 0xFF);
  return bytes;
}

std::string round_trip(const std::string& bytes) {
  return report::unpack(report::pack(bytes)).value_or("(not unpacked)");
}

TEST(Pack, GivesBackEveryInput) {
  std::vector<std::string> inputs = {
      "",
      "a",
      "abcdefghijklmn",                         // shorter than what the finder reads
      std::string(100000, 'x'),                 // a match that overlaps what it writes
      "abcd" + std::string(300, 'a') + "abcd",  // literal and match counts past 255
      random_bytes(70000, 1),                   // nothing to match
      report_test::sample_report(),
  };
  std::string far = random_bytes(3 << 20, 2);
  inputs.push_back(far + "in between" + far);  // a repeat 3 MiB back
  for (const std::string& input : inputs) {
    SCOPED_TRACE(input.size());
    EXPECT_EQ(round_trip(input), input);
  }
}

TEST(Pack, StoresWhatRepeatsFarBackOnce) {
  // A report repeats its configuration output in every iteration and
  // phase, megabytes apart.
  const std::string block = random_bytes(2 << 20, 3);
  const std::string packed = report::pack(block + block + block);
  EXPECT_LT(packed.size(), block.size() + block.size() / 10);
  const std::string text = report_test::sample_report();
  EXPECT_LT(report::pack(text).size(), text.size() / 2);
}

TEST(Pack, RefusesDamagedInput) {
  const std::string packed = report::pack(report_test::sample_report());
  EXPECT_FALSE(report::unpack(packed.substr(0, packed.size() - 1)));
  EXPECT_FALSE(report::unpack(packed.substr(0, 3)));
  std::string wrong_size = packed;
  wrong_size[0] = static_cast<char>(wrong_size[0] + 1);
  EXPECT_FALSE(report::unpack(wrong_size));
  // A match that reaches before the start.
  EXPECT_FALSE(
      report::unpack(std::string("\x08\0\0\0\x10"
                                 "a\x05\0\0",
                                 9)));
}

TEST(Pack, Base64) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"", ""},        {"f", "Zg=="},          {"fo", "Zm8="},
      {"foo", "Zm9v"}, {"foobar", "Zm9vYmFy"}, {std::string("\xff\xfe\x00", 3), "//4A"}};
  for (const auto& [bytes, base64] : cases) {
    std::string out = "x";
    report::append_base64(out, bytes);
    EXPECT_EQ(out, "x" + base64);
  }
}

std::string from_base64(std::string_view text) {
  const std::string digits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  unsigned value = 0;
  int bits = 0;
  for (char c : text) {
    if (c == '=') break;
    value = value << 6 | static_cast<unsigned>(digits.find(c));
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      out += static_cast<char>((value >> bits) & 0xFF);
    }
  }
  return out;
}

// The bytes of a packed block of the page, unpacked.
std::string block_of(const std::string& page, const std::string& id) {
  const std::string open = "<script id=\"" + id + "\" type=\"application/octet-stream\">";
  const std::size_t at = page.find(open);
  if (at == std::string::npos) return "(no block " + id + ")";
  // A line of base64 per piece, each packed on its own.
  std::istringstream lines(page.substr(at + open.size(), page.find("</script>", at) - at));
  std::string line, bytes;
  while (std::getline(lines, line))
    if (!line.empty()) bytes += report::unpack(from_base64(line)).value_or("(not unpacked)");
  return bytes;
}

TEST(PackedPage, ALargeReportsDataAndTextsArePacked) {
  std::string text = report_test::sample_report();
  std::string filler;
  for (int i = 0; i < 20000; ++i) filler += "  line " + std::to_string(i) + " <b>&\r\n";
  text.insert(text.find("  slot 0"), filler + "</script><script>alert(1)</script> \xff end\n");
  const report::Report r = report::parse_report(text);
  std::ostringstream out;
  report::write_html(r, "big.out", out);
  const std::string page = out.str();
  EXPECT_LT(page.size(), text.size() * 3 / 4);
  EXPECT_EQ(page.find("id=\"report-data\""), std::string::npos);
  EXPECT_EQ(page.find("alert(1)"), std::string::npos);
  const std::string data = block_of(page, "report-data-packed");
  EXPECT_NE(data.find("\"text\":null}"), std::string::npos) << data.substr(0, 200);
  const std::string texts = block_of(page, "report-text-packed");
  // The section's row gives its text as bytes of the texts: without '\r',
  // invalid UTF-8 repaired, as a plain page's JSON string has it.
  std::size_t index = 0;
  while (index < r.sections.size() &&
         report::section_text(r, r.sections[index]).find("line 19999") == std::string::npos)
    ++index;
  ASSERT_LT(index, r.sections.size());
  const report::Section& s = r.sections[index];
  const std::string fields = "," + std::to_string(s.line) + "," + std::to_string(s.start_epoch) +
                             "," + std::to_string(s.end_epoch) + ",";
  const std::size_t row = data.find(fields);
  ASSERT_NE(row, std::string::npos) << fields;
  std::istringstream numbers(data.substr(row + fields.size()));
  std::size_t offset = 0, length = 0;
  char comma = 0;
  numbers >> offset >> comma >> length;
  ASSERT_LE(offset + length, texts.size());
  const std::string shown = texts.substr(offset, length);
  EXPECT_NE(shown.find("  line 0 <b>&\n  line 1 <b>&\n"), std::string::npos) << shown.substr(0, 80);
  EXPECT_NE(shown.find("</script><script>alert(1)</script> \xEF\xBF\xBD end\n"), std::string::npos);
  EXPECT_EQ(shown.find('\r'), std::string::npos);
  // ... and ends where the section's text ends.
  const std::string whole(report::section_text(r, s));
  const std::string tail = whole.substr(whole.size() - 16);
  ASSERT_GE(shown.size(), tail.size());
  EXPECT_EQ(shown.substr(shown.size() - tail.size()), tail);
}

}  // namespace
