#include "report/diff.h"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "report/output.h"

namespace {

using report::DiffLine;

std::string script(const std::vector<DiffLine>& diff) {
  std::string text;
  for (const DiffLine& line : diff) text += std::string(1, line.op) + line.text + "|";
  return text;
}

std::vector<std::string_view> views(const std::vector<std::string>& lines) {
  return {lines.begin(), lines.end()};
}

TEST(LineDiff, KeepsCommonLinesAndMarksTheRest) {
  std::vector<std::string> before = {"a", "b", "c", "d"}, after = {"a", "x", "c", "d", "e"};
  EXPECT_EQ(script(report::line_diff(views(before), views(after))), " a|-b|+x| c| d|+e|");
  // A moved line is one removal and one addition, the rest kept.
  before = {"1", "2", "3", "4"};
  after = {"2", "3", "4", "1"};
  EXPECT_EQ(script(report::line_diff(views(before), views(after))), "-1| 2| 3| 4|+1|");
  // Trailing blanks and carriage returns are no change.
  before = {"same  ", "x\r"};
  after = {"same", "x"};
  EXPECT_FALSE(report::has_changes(report::line_diff(views(before), views(after))));
  EXPECT_TRUE(report::has_changes(report::line_diff(views(before), {})));
  EXPECT_EQ(script(report::line_diff({}, views(after))), "+same|+x|");
}

TEST(LineDiff, ClockLinesAreComparedWithTheirNumbersMasked) {
  std::vector<std::string> before = {"  Wed Dec  9 20:01:25 GMT 2026 up 7 days, 11:00 2308 NFS ops",
                                     "release 7.3.5"};
  std::vector<std::string> after = {"  Thu Dec 10 00:02:38 GMT 2026 up 8 days, 11:01 2400 NFS ops",
                                    "release 7.3.5"};
  EXPECT_FALSE(report::has_changes(report::line_diff(views(before), views(after))));
  // Without a time of day the numbers count, and the words always do.
  after[1] = "release 7.3.6";
  EXPECT_EQ(script(report::line_diff(views(before), views(after))),
            "   Thu Dec 10 00:02:38 GMT 2026 up 8 days, 11:01 2400 NFS ops|-release 7.3.5|"
            "+release 7.3.6|");
  after[1] = "release 7.3.5";
  after[0] = "  Thu Dec 10 00:02:38 GMT 2026 down";
  EXPECT_TRUE(report::has_changes(report::line_diff(views(before), views(after))));
  EXPECT_EQ(report::comparison_key("at 20:01 only"), "at 20:01 only");
}

TEST(LineDiff, HunksKeepContextAndCountWhatIsLeftOut) {
  std::vector<std::string> before, after;
  for (int i = 0; i < 20; ++i) before.push_back("line " + std::to_string(i));
  after = before;
  after[10] = "changed";
  std::vector<DiffLine> hunks =
      report::diff_hunks(report::line_diff(views(before), views(after)), 2);
  EXPECT_EQ(script(hunks),
            "~8 unchanged line(s)| line 8| line 9|-line 10|+changed| line 11| line 12|"
            "~7 unchanged line(s)|");
  EXPECT_TRUE(report::diff_hunks(report::line_diff(views(before), views(before)), 2).empty());
}

TEST(CounterRates, GrownNumbersOfPairedLinesOverTheInterval) {
  std::vector<std::string> before = {
      "Tcp:",
      "    100 segments received",
      "    40 active connections openings",
      "    7 connections established",
      "Inter-|   Receive        |  Transmit",
      " face |bytes    packets|bytes    packets",
      "  eth0: 1000 10 5000 50",
      "e0a 45% busy 12KB",
      "  Wed Dec  9 20:01:25 GMT 2026 up 7 days",
  };
  std::vector<std::string> after = {
      "Tcp:",
      "    300 segments received",
      "    40 active connections openings",
      "    5 connections established",
      "    9 new line only after",
      "Inter-|   Receive        |  Transmit",
      " face |bytes    packets|bytes    packets",
      "  eth0: 1600 10 5200 90",
      "e0a 95% busy 99KB",
      "  Wed Dec  9 20:02:25 GMT 2026 up 7 days",
  };
  std::vector<report::CounterRate> rates = report::counter_rates(views(before), views(after), 20);
  ASSERT_EQ(rates.size(), 4u);
  EXPECT_EQ(rates[0].name, "# segments received");
  EXPECT_EQ(rates[0].before, 100);
  EXPECT_EQ(rates[0].after, 300);
  EXPECT_DOUBLE_EQ(rates[0].rate, 10);
  // A table row takes its column names from the header lines above it.
  EXPECT_EQ(rates[1].name, "eth0: Receive bytes");
  EXPECT_DOUBLE_EQ(rates[1].rate, 30);
  EXPECT_EQ(rates[2].name, "eth0: Transmit bytes");
  EXPECT_DOUBLE_EQ(rates[2].rate, 10);
  EXPECT_EQ(rates[3].name, "eth0: Transmit packets");
  EXPECT_DOUBLE_EQ(rates[3].rate, 2);
  // Without a known interval the counters stay, their rate unknown.
  rates = report::counter_rates(views(before), views(after), 0);
  ASSERT_EQ(rates.size(), 4u);
  EXPECT_TRUE(std::isnan(rates[0].rate));
  // Several numbers without a header are told apart by place.
  rates = report::counter_rates(views(std::vector<std::string>{"x 1 2"}),
                                views(std::vector<std::string>{"x 1 4"}), 2);
  ASSERT_EQ(rates.size(), 1u);
  EXPECT_EQ(rates[0].name, "x # # (value 2 of 2)");
  EXPECT_DOUBLE_EQ(rates[0].rate, 1);
}

TEST(CounterRates, StatsStopBlocksCountOverTheInterval) {
  std::vector<std::string> lines = {
      "TIME_DELTA: 00:28 (28s)",
      "system:system:total_ops:2800",
      "system:system:cpu_busy:20%",
      "system:system:net_data_recv:12572KB/s",
      "system:system:time:1796846534",
      "lun:/vol/a/lun0:read_ops:56",
      "not a counter",
  };
  std::vector<report::CounterRate> rates = report::stats_stop_rates(views(lines), 28);
  ASSERT_EQ(rates.size(), 4u);
  EXPECT_EQ(rates[0].name, "system:system:total_ops");
  EXPECT_DOUBLE_EQ(rates[0].rate, 100);
  EXPECT_FALSE(rates[0].is_level);
  EXPECT_EQ(rates[1].name, "system:system:cpu_busy");
  EXPECT_TRUE(rates[1].is_level);
  EXPECT_EQ(rates[1].unit, "%");
  EXPECT_DOUBLE_EQ(rates[1].rate, 20);
  EXPECT_EQ(rates[2].unit, "KB/s");
  EXPECT_EQ(rates[3].name, "lun:/vol/a/lun0:read_ops");
  EXPECT_DOUBLE_EQ(rates[3].rate, 2);
}

// Prestats and poststats of one controller: a configuration section that
// changed (with markup in it), one that did not, a counter command read in
// both phases, and the stats blocks.
std::string phase_report() {
  return R"(*------------- Kestrel v7.38 -------------*
FILER_TARGETS,       set,        "c1"

SOURCE_HOST_NAME,    h1
SOURCE_HOST_OS,      Linux
COMMAND_LINE,       -f c1

SAMPLES,            -1
SAMPLE_INTERVAL,    10

=-=-=-=-=-= BEGIN Iteration 1 =-=-=-=-=-= Mon Dec 07 18:20:01 GMT 2026
KESTREL_EPOCH: 1796660401
=-=-=-=-=-= BEGIN PRESTATS =-=-=-=-=-= c1
=-=-=-=-=-= CONFIG c1 PRESTATS =-=-=-=-=-= df
/vol/vol0   100   50
/vol/vol1   200   <b>10</b>

EXE-TIME of: df : 0 seconds
KESTREL_EPOCH: 1796660404

=-=-=-=-=-= CONFIG c1 PRESTATS =-=-=-=-=-= uptime
  Mon Dec  7 18:20:04 GMT 2026 up 7 days

EXE-TIME of: uptime : 0 seconds
KESTREL_EPOCH: 1796660404

=-=-=-=-=-= PERF c1 PRESTATS =-=-=-=-=-= netstat -s
    1000 segments received
    3 resets

EXE-TIME of: netstat -s : 0 seconds
KESTREL_EPOCH: 1796660410

=-=-=-=-=-= PERF c1 PRESTATS =-=-=-=-=-= stats start -I kestrel_stats_1796660410

EXE-TIME of: stats start -I kestrel_stats_1796660410 : 0 seconds
KESTREL_EPOCH: 1796660410

=-=-=-=-=-= END PRESTATS =-=-=-=-=-= c1
=-=-=-=-=-= BEGIN POSTSTATS =-=-=-=-=-= c1

KESTREL_EPOCH: 1796660510

=-=-=-=-=-= PERF c1 POSTSTATS =-=-=-=-=-= stats stop -I kestrel_system
TIME: Mon Dec 07 18:21:50 GMT 2026
TIME_DELTA: 01:40 (100s)
system:system:total_ops:5000
system:system:cpu_busy:20%

KESTREL_EPOCH: 1796660510

=-=-=-=-=-= PERF c1 POSTSTATS =-=-=-=-=-= netstat -s
    1400 segments received
    3 resets

EXE-TIME of: netstat -s : 0 seconds
KESTREL_EPOCH: 1796660510

=-=-=-=-=-= CONFIG c1 POSTSTATS =-=-=-=-=-= df
/vol/vol0   100   50
/vol/vol1   200   <script>alert(1)</script>

EXE-TIME of: df : 0 seconds
KESTREL_EPOCH: 1796660511

=-=-=-=-=-= CONFIG c1 POSTSTATS =-=-=-=-=-= uptime
  Mon Dec  7 18:21:51 GMT 2026 up 7 days

EXE-TIME of: uptime : 0 seconds
KESTREL_EPOCH: 1796660511

=-=-=-=-=-= END POSTSTATS =-=-=-=-=-= c1
=-=-=-=-=-= END Iteration 1 =-=-=-=-=-= Mon Dec 07 18:21:52 GMT 2026
KESTREL_EPOCH: 1796660512
=-=-=-= Kestrel Execution Statistics -=-=-=-=
  Total Running Time: 111 seconds
)";
}

TEST(PhaseChanges, ConfigurationDiffsAndCounterRatesPerTarget) {
  report::Report r = report::parse_report(phase_report());
  report::PhaseChanges changes = report::phase_changes(r);
  ASSERT_EQ(changes.sections.size(), 1u);
  EXPECT_EQ(r.sections[changes.sections[0].after].command, "df");
  EXPECT_EQ(r.sections[changes.sections[0].before].phase, "PRESTATS");
  EXPECT_EQ(script(changes.sections[0].diff),
            " /vol/vol0   100   50|-/vol/vol1   200   <b>10</b>|"
            "+/vol/vol1   200   <script>alert(1)</script>|");
  ASSERT_EQ(changes.counters.size(), 2u);
  // The stats stop block: from the stats start epoch to its own.
  const report::CounterChange& block = changes.counters[0];
  EXPECT_EQ(block.before, block.after);
  EXPECT_EQ(block.seconds, 100);
  EXPECT_EQ(block.interval_source, "epochs");
  ASSERT_EQ(block.counters.size(), 2u);
  EXPECT_DOUBLE_EQ(block.counters[0].rate, 50);
  // netstat -s: from the prestats epoch to the poststats one.
  const report::CounterChange& netstat = changes.counters[1];
  EXPECT_EQ(r.sections[netstat.after].command, "netstat -s");
  EXPECT_EQ(netstat.seconds, 100);
  ASSERT_EQ(netstat.counters.size(), 1u);
  EXPECT_DOUBLE_EQ(netstat.counters[0].rate, 4);

  std::string html = report::changes_html(r);
  EXPECT_NE(html.find("data-sections=\"1\" data-counters=\"2\""), std::string::npos);
  EXPECT_NE(html.find("&lt;script&gt;alert(1)&lt;/script&gt;"), std::string::npos);
  EXPECT_EQ(html.find("<script"), std::string::npos);
  EXPECT_EQ(html.find("<b>"), std::string::npos);

  // A long capture's block stops at its limits and says what it left out.
  html = report::changes_html(r, 0, 2);
  EXPECT_NE(html.find("1 more changed section(s) left out: the page shows the first 0."),
            std::string::npos);
  EXPECT_EQ(html.find("alert"), std::string::npos);
  EXPECT_NE(html.find("stats stop -I kestrel_system"), std::string::npos);
  EXPECT_NE(html.find("1 more command(s) with 1 counter(s) left out: the page shows at most 2 "
                      "counters."),
            std::string::npos);
  EXPECT_EQ(html.find("segments received"), std::string::npos);

  // The page holds the block after its problems.
  std::ostringstream page;
  report::write_html(r, "phase.out", page);
  std::size_t changes_at = page.str().find("<section id=\"changes\"");
  ASSERT_NE(changes_at, std::string::npos);
  EXPECT_GT(changes_at, page.str().find("<section id=\"problems\""));
  EXPECT_EQ(page.str().find("<script>alert(1)"), std::string::npos);
}

TEST(PhaseChanges, ALongCounterListIsLeftForThePageToMakeWhenOpened) {
  std::string text = phase_report();
  const std::string head =
      "=-=-=-=-=-= PERF c1 POSTSTATS =-=-=-=-=-= stats stop -I kestrel_system\n";
  const std::size_t from = text.find(head);
  const std::size_t to = text.find("=-=-=-=-=-= PERF c1 POSTSTATS =-=-=-=-=-= netstat -s");
  ASSERT_LT(from, to);
  const std::string block = text.substr(from, to - from);
  std::string more;
  for (int i = 0; i < 120; ++i) {
    std::string copy = block;
    copy.replace(copy.find("kestrel_system"), 14, "kestrel_s" + std::to_string(i));
    more += copy;
  }
  text.insert(to, more);
  const report::Report r = report::parse_report(text);
  std::string deferred;
  const std::string block_html = report::changes_html(r, 1000, 20000, &deferred);
  EXPECT_NE(block_html.find("<details class=\"counter-list\" data-deferred=\"1\"><summary>122 "),
            std::string::npos)
      << block_html.substr(0, 200);
  EXPECT_EQ(block_html.find("counter-change"), std::string::npos);
  // Put back, the list makes the whole block again.
  std::string rebuilt = block_html;
  rebuilt.erase(rebuilt.find(" data-deferred=\"1\""), 18);
  rebuilt.insert(rebuilt.rfind("</details></section>"), deferred);
  EXPECT_EQ(rebuilt, report::changes_html(r));
  // A short list stays in the block.
  std::string none;
  const std::string short_html =
      report::changes_html(report::parse_report(phase_report()), 1000, 20000, &none);
  EXPECT_TRUE(none.empty());
  EXPECT_NE(short_html.find("counter-change"), std::string::npos);
}

TEST(PhaseChanges, WithoutEpochsTheStatsBlockUsesItsTimeDelta) {
  std::string text = phase_report();
  // Take the stats start away: its epoch is the start of the interval.
  std::size_t from = text.find("=-=-=-=-=-= PERF c1 PRESTATS =-=-=-=-=-= stats start");
  std::size_t to = text.find("=-=-=-=-=-= END PRESTATS");
  text.erase(from, to - from);
  report::Report r = report::parse_report(text);
  report::PhaseChanges changes = report::phase_changes(r);
  ASSERT_EQ(changes.counters.size(), 2u);
  EXPECT_EQ(changes.counters[0].seconds, 100);
  EXPECT_EQ(changes.counters[0].interval_source, "TIME_DELTA");
}

}  // namespace
