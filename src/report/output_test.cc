#include "report/output.h"

#include <gtest/gtest.h>

#include <sstream>

#include "report/test_report.h"
#include "report/text.h"

namespace {

std::string index_of(const std::string& text) {
  std::ostringstream out;
  report::write_index(report::parse_report(text), out);
  return out.str();
}

TEST(Index, ListsSectionsTotalsAndTheSlowest) {
  std::string index = index_of(report_test::sample_report());
  EXPECT_NE(index.find("Report: complete, total running time 299 s"), std::string::npos);
  std::istringstream lines(index);
  std::string line, arp, slowest_first;
  bool in_slowest = false;
  while (std::getline(lines, line)) {
    if (line.find("arp -a") != std::string::npos && arp.empty()) arp = line;
    if (in_slowest && slowest_first.empty() && line.find("SECONDS") == std::string::npos)
      slowest_first = line;
    if (line == "Slowest commands") in_slowest = true;
  }
  EXPECT_NE(arp.find("killed"), std::string::npos) << arp;
  EXPECT_NE(arp.find("PRESTATS"), std::string::npos) << arp;
  EXPECT_NE(slowest_first.find("70"), std::string::npos) << slowest_first;
  EXPECT_NE(slowest_first.find("arp -a"), std::string::npos) << slowest_first;
  EXPECT_NE(index.find("Slow-command report of the run (60 seconds or more): 2 command(s)"),
            std::string::npos);
}

TEST(Index, ShowsHostileTextHarmlessly) {
  std::string hostile =
      "=-=-=-=-=-= PERF c1 PRESTATS =-=-=-=-=-= evil\x1b[2J\xff cmd\n"
      "\n"
      "EXE-TIME of: evil : 0 seconds\n"
      "KESTREL_EPOCH: 1\n";
  std::string index = index_of(hostile);
  EXPECT_EQ(index.find('\x1b'), std::string::npos);
  EXPECT_TRUE(report::is_clean_utf8(index));
}

TEST(Json, IsCleanTextWhateverTheReportHolds) {
  std::string text = report_test::sample_report();
  text.insert(text.find("  slot 0"), std::string("\"quoted\"\t\\ \x01\xc3\x28\0\n", 16));
  std::ostringstream out;
  report::write_json(report::parse_report(text), out);
  std::string json = out.str();
  EXPECT_TRUE(report::is_clean_utf8(json));
  for (char c : json) EXPECT_FALSE(static_cast<unsigned char>(c) < 0x20 && c != '\n') << int(c);
  EXPECT_NE(json.find("\\\"quoted\\\"\\t\\\\ \\u0001\xEF\xBF\xBD(\xEF\xBF\xBD"), std::string::npos);
  EXPECT_NE(json.find("\"command\":\"arp -a\""), std::string::npos);
  EXPECT_NE(json.find("\"flags\":[\"killed\"]"), std::string::npos);
  EXPECT_NE(json.find("\"sampler_files\":[{\"section\":9,\"file\":\"sysstat.out\""),
            std::string::npos);
}

TEST(Html, KeepsSectionTextInsideItsScript) {
  std::string text = report_test::sample_report();
  text.insert(text.find("  slot 0"), "</script><script>alert(1)</script><!--\n");
  std::ostringstream out;
  report::write_html(report::parse_report(text), "r<1>.out", out);
  std::string page = out.str();
  EXPECT_TRUE(report::is_clean_utf8(page));
  EXPECT_EQ(page.find("alert(1)</script>"), std::string::npos);
  EXPECT_EQ(page.find("<!--"), std::string::npos);
  EXPECT_NE(page.find("<title>r&lt;1&gt;.out - kestrel report</title>"), std::string::npos);
  // The chart library and the page script are inlined: no reference leaves the file.
  EXPECT_NE(page.find("uPlot"), std::string::npos);
  EXPECT_EQ(page.find("src=\""), std::string::npos);
  EXPECT_EQ(page.find("href=\"http"), std::string::npos);
}

}  // namespace
