#include "report/compare.h"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "report/test_report.h"

namespace {

std::string replaced(std::string text, const std::string& from, const std::string& to) {
  std::size_t at = text.find(from);
  EXPECT_NE(at, std::string::npos) << from;
  if (at != std::string::npos) text.replace(at, from.size(), to);
  return text;
}

// The shared sample with a clock line in its configuration section.
std::string capture_a() {
  return replaced(report_test::sample_report(), "Release 7.3.5\n",
                  "Release 7.3.5\n  Mon Dec  7 18:20:03 GMT 2026 up 7 days, 11:00 120 ops\n");
}

TEST(KeyColumnStats, KnownSeries) {
  std::vector<double> values;
  for (int i = 20; i >= 1; --i) values.push_back(i);
  values.push_back(std::nan(""));
  report::ColumnStats s = report::column_stats(values);
  EXPECT_EQ(s.count, 20u);
  EXPECT_EQ(s.min, 1);
  EXPECT_EQ(s.max, 20);
  EXPECT_DOUBLE_EQ(s.mean, 10.5);
  EXPECT_EQ(s.p95, 19);  // rank ceil(0.95 x 20) = 19
  EXPECT_NEAR(s.deviation, 5.916, 0.001);
  s = report::column_stats({7});
  EXPECT_EQ(s.p95, 7);
  EXPECT_EQ(s.deviation, 0);
  s = report::column_stats(
      {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 100});
  EXPECT_EQ(s.p95, 20);  // rank ceil(19.95) = 20
  EXPECT_EQ(report::column_stats({}).count, 0u);
}

TEST(KeyColumnStats, SignificantShiftAtItsBounds) {
  report::ColumnStats a{10, 0, 100, 0, 0, 0}, b{10, 0, 120, 0, 0, 0};
  // 20 % of the larger mean (24) is not reached by 20.
  EXPECT_FALSE(report::significant_shift(a, b));
  b.mean = 125;  // 25 >= 25
  EXPECT_TRUE(report::significant_shift(a, b));
  // Twice the standard error of the difference, 2 x sqrt(2 x sd^2 / 10),
  // against the shift of 25.
  a.deviation = b.deviation = 28;  // 25.04
  EXPECT_FALSE(report::significant_shift(a, b));
  a.deviation = b.deviation = 27;  // 24.15
  EXPECT_TRUE(report::significant_shift(a, b));
  a.count = 1;
  EXPECT_FALSE(report::significant_shift(a, b));
}

TEST(CompareReports, OneChangedSettingAndOneChangedSectionAndNothingElse) {
  std::string a = capture_a();
  std::string b = replaced(a, "ITERATIONS,          set,        \"2\"",
                           "ITERATIONS,          set,        \"3\"");
  b = replaced(b, "Release 7.3.5\n", "Release 7.3.6\n");
  // What moves from one capture to the next anyway: the clock, epochs,
  // durations, the host's time lines.
  b = replaced(b, "Mon Dec  7 18:20:03 GMT 2026 up 7 days, 11:00 120 ops",
               "Tue Dec  8 09:41:17 GMT 2026 up 8 days, 02:21 4096 ops");
  b = replaced(b, "KESTREL_EPOCH: 1796660404\n\n=-=-=-=-=-= CONFIG c1 PRESTATS =-=-=-=-=-= snap",
               "KESTREL_EPOCH: 1796740404\n\n=-=-=-=-=-= CONFIG c1 PRESTATS =-=-=-=-=-= snap");
  b = replaced(b, "EXE-TIME of: sysconfig -a : 3 seconds", "EXE-TIME of: sysconfig -a : 5 seconds");

  report::Comparison c = report::compare_reports(report::parse_report(a), report::parse_report(b));
  ASSERT_EQ(c.settings.size(), 1u);
  EXPECT_EQ(c.settings[0].name, "ITERATIONS");
  EXPECT_EQ(c.settings[0].a, "2");
  EXPECT_EQ(c.settings[0].b, "3");
  ASSERT_EQ(c.sections.size(), 1u);
  const report::SectionDifference& d = c.sections[0];
  EXPECT_EQ(d.target, "c1");
  EXPECT_EQ(d.phase, "PRESTATS");
  EXPECT_EQ(d.iteration, 1);
  EXPECT_EQ(d.command, "sysconfig -a");
  ASSERT_EQ(d.diff.size(), 4u);
  EXPECT_EQ(d.diff[0].op, '-');
  EXPECT_EQ(d.diff[0].text, "Release 7.3.5");
  EXPECT_EQ(d.diff[1].op, '+');
  EXPECT_EQ(d.diff[1].text, "Release 7.3.6");
  // The verdict's key columns are compared and have not moved: sysstat's
  // CPU, and its NFS as the protocol ops.
  ASSERT_EQ(c.columns.size(), 2u);
  EXPECT_EQ(c.columns[0].target, "c1");
  EXPECT_EQ(c.columns[0].column, "CPU");
  EXPECT_EQ(c.columns[0].unit, "%");
  EXPECT_DOUBLE_EQ(c.columns[0].a.mean, 44);
  EXPECT_EQ(c.columns[0].a.p95, 93);
  EXPECT_EQ(c.columns[1].column, "Ops");
  EXPECT_EQ(c.shifts, 0u);

  std::ostringstream text;
  report::write_comparison_text(c, "a.out", "b.out", text);
  EXPECT_NE(text.str().find("Settings that differ: 1\n  ITERATIONS: \"2\" -> \"3\"\n"),
            std::string::npos)
      << text.str();
  EXPECT_NE(text.str().find("Configuration sections that changed: 1\n"
                            "  c1, iteration 1 PRESTATS: sysconfig -a"),
            std::string::npos)
      << text.str();
  EXPECT_NE(text.str().find("    - Release 7.3.5\n    + Release 7.3.6\n"), std::string::npos);
  EXPECT_NE(text.str().find("2 compared, 0 shifted"), std::string::npos);
  EXPECT_NE(text.str().find("\n  c1  CPU (%)\n      A "), std::string::npos) << text.str();
}

TEST(CompareReports, VersionsSectionsOnOneSideAndShiftedColumns) {
  std::string a = capture_a();
  std::string b = replaced(a, "FILEROS,\tc1,\tMERIX7.3.5", "FILEROS,\tc1,\tMERIX8.0.1");
  b = replaced(b, "=-=-=-=-=-= CONFIG c1 PRESTATS =-=-=-=-=-= snap list",
               "=-=-=-=-=-= CONFIG c1 PRESTATS =-=-=-=-=-= snap list -n");
  b = replaced(b, "       11%      1176\n       28%      4387\n       93%      2598\n",
               "       99%      1180\n       98%      4380\n       99%      2600\n");
  report::Comparison c = report::compare_reports(report::parse_report(a), report::parse_report(b));
  ASSERT_EQ(c.settings.size(), 1u);
  EXPECT_EQ(c.settings[0].name, "version of c1");
  EXPECT_EQ(c.settings[0].b, "MERIX8.0.1");
  ASSERT_EQ(c.sections.size(), 2u);
  EXPECT_EQ(c.sections[0].command, "snap list");
  EXPECT_EQ(c.sections[0].line_b, 0u);
  EXPECT_TRUE(c.sections[0].diff.empty());
  EXPECT_EQ(c.sections[1].command, "snap list -n");
  EXPECT_EQ(c.sections[1].line_a, 0u);
  ASSERT_EQ(c.columns.size(), 2u);
  EXPECT_TRUE(c.columns[0].significant);   // CPU 44 -> 98.7
  EXPECT_FALSE(c.columns[1].significant);  // NFS as good as the same
  EXPECT_EQ(c.shifts, 1u);

  std::ostringstream html;
  report::write_comparison_html(c, "<a>.out", "b.out", html);
  EXPECT_NE(html.str().find("&lt;a&gt;.out"), std::string::npos);
  EXPECT_NE(html.str().find("data-shifts=\"1\""), std::string::npos);
  EXPECT_NE(html.str().find("<tr class=\"shift\"><td>c1</td><td>CPU</td><td>%</td>"),
            std::string::npos);
  EXPECT_EQ(html.str().find("<script"), std::string::npos);
}

}  // namespace
