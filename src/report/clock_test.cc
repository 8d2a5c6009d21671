#include "report/clock.h"

#include <gtest/gtest.h>

#include <cmath>

#include "report/test_report.h"
#include "report/text.h"

namespace {

// 18:20:05 and 18:20:35 of Mon Dec 07 2026.
constexpr long long kBegin = 1796667605;
constexpr long long kEnd = 1796667635;
const char kBeginLine[] = "Begin: Mon Dec 07 18:20:05 GMT 2026\n";
const char kEndLine[] = "Begin: Mon Dec 07 18:20:35 GMT 2026\n";

struct Placed {
  report::SamplerFile file;
  report::FileClock clock;
  std::vector<report::Placement> charts;  // one per chart
};

// Reads `text` as the file `name` of iteration 1 in a report whose header
// says SAMPLE_INTERVAL `interval`, and places every chart's rows.
Placed place(const std::string& name, const std::string& text, long long interval,
             std::vector<long long> starts = {}) {
  report::Report report;
  report.header.sample_interval = interval;
  report::Section section;
  section.kind = report::SectionKind::kFileDump;
  section.command = name;
  section.line = 7;
  std::vector<std::string_view> lines;
  std::string_view rest(text);
  while (!rest.empty()) {
    std::size_t end = rest.find('\n');
    std::string_view line = rest.substr(0, end);
    lines.push_back(line);
    if (report::starts_with(line, "Begin: ") || report::starts_with(line, "End: ")) {
      std::string stamp(line.substr(line.find(' ') + 1));
      if (section.begin_stamp.empty() && line[0] == 'B') {
        section.begin_stamp = stamp;
      } else {
        section.end_stamp = stamp;
      }
    }
    rest.remove_prefix(std::min(rest.size(), end + 1));
  }
  Placed placed;
  placed.file = report::read_sampler_file(name, lines, 1);
  placed.clock = report::file_clock(report, section, placed.file, starts);
  for (const report::Chart& chart : placed.file.charts)
    placed.charts.push_back(report::place_rows(placed.clock, chart));
  return placed;
}

std::vector<double> times(const report::Placement& p) {
  std::vector<double> list;
  for (const auto& t : p.times) list.push_back(t ? *t : -1);
  return list;
}

double at(long long base, long long offset) {
  return static_cast<double>(base + offset);
}

TEST(Clock, IntervalFilesCountFromTheirBeginStamp) {
  const std::string sysstat = std::string(kBeginLine) +
                              "  CPU   NFS\n"
                              "  11%   1176\n"
                              "  28%   4387\n"
                              "  93%   2598\n" +
                              "Begin: Mon Dec 07 18:20:35 GMT 2026\n";
  Placed s = place("sysstat.out", sysstat, 10);
  EXPECT_EQ(s.clock.source, report::ClockSource::kBeginInterval);
  EXPECT_TRUE(s.clock.anchored);
  EXPECT_EQ(times(s.charts[0]),
            (std::vector<double>{at(kBegin, 10), at(kBegin, 20), at(kBegin, 30)}));
  EXPECT_TRUE(s.charts[0].problems.empty());

  // Per processor: the same interval.
  Placed m =
      place("sysstatM.out", std::string(kBeginLine) + " ANY1+  CPU0\n 27%  31%\n 40%  40%\n", 5);
  EXPECT_EQ(times(m.charts[1]), (std::vector<double>{at(kBegin, 5), at(kBegin, 10)}));

  // The one-second sysstat and vif stat sample every second whatever the header says.
  Placed one = place("sysstat_1sec.out", std::string(kBeginLine) + " CPU NFS\n 1% 2\n 3% 4\n", 10);
  EXPECT_EQ(times(one.charts[0]), (std::vector<double>{at(kBegin, 1), at(kBegin, 2)}));
  Placed vif = place("vifstat_vif0.out",
                     std::string(kBeginLine) +
                         "Virtual interface (trunk) vif0\n"
                         " e0a                  e0b\n"
                         " In         Out       In         Out\n"
                         " 3479       488       4536       1301\n"
                         " 4334       3679      1001       974\n",
                     10);
  ASSERT_EQ(vif.charts.size(), 4u);
  EXPECT_EQ(times(vif.charts[3]), (std::vector<double>{at(kBegin, 1), at(kBegin, 2)}));

  // LUN rows: the n-th row of each LUN stands at the n-th interval.
  Placed lun = place("lun_stats.out",
                     std::string(kBeginLine) +
                         "    Read  Write  Lun\n"
                         "     Ops    Ops\n"
                         "    4936   3881  /vol/vol1/lun0\n"
                         "    4011   4378  /vol/vol1/lun1\n"
                         "     289   1344  /vol/vol1/lun0\n"
                         "    4294   3239  /vol/vol1/lun1\n",
                     15);
  ASSERT_FALSE(lun.charts.empty());
  EXPECT_EQ(lun.file.charts[0].names.size(), 2u);
  EXPECT_EQ(times(lun.charts[0]), (std::vector<double>{at(kBegin, 15), at(kBegin, 30)}));
}

TEST(Clock, StatsAndStatitUseTheirOwnStamps) {
  // A sample holding only its time keeps the samples after it on their stamps.
  Placed d = place("domain_stats.out",
                   std::string(kBeginLine) +
                       "system:system:time:1796660406\n"
                       "processor:processor0:processor_busy:21%\n"
                       "system:system:time:1796660407\n"
                       "system:system:time:1796660408\n"
                       "processor:processor0:processor_busy:75%\n",
                   1);
  EXPECT_EQ(d.clock.source, report::ClockSource::kStamps);
  ASSERT_EQ(d.file.charts.size(), 1u);  // the time counter is the clock, no chart of its own
  EXPECT_EQ(d.file.charts[0].title, "processor:processor_busy");
  EXPECT_EQ(times(d.charts[0]), (std::vector<double>{1796660406, 1796660407, 1796660408}));
  EXPECT_TRUE(std::isnan(d.file.charts[0].series[0][1]));
  EXPECT_EQ(d.file.charts[0].series[0][2], 75);

  // The time counter in the middle of each sample, as protocol stats print it.
  Placed p = place("protocol_stats.out",
                   std::string(kBeginLine) +
                       "system:system:nfs_ops:1515\n"
                       "system:system:time:1796660410\n"
                       "system:system:cpu_busy:45%\n"
                       "system:system:nfs_ops:1600\n"
                       "system:system:time:1796660420\n"
                       "system:system:cpu_busy:46%\n",
                   10);
  EXPECT_EQ(times(p.charts[0]), (std::vector<double>{1796660410, 1796660420}));

  // statit: each report's End line, else its Begin line.
  Placed st = place("statit.out",
                    "---- statit --- 1 ----\n"
                    "Begin: Mon Dec 07 18:20:05 GMT 2026\n"
                    "                       CPU Statistics\n"
                    "             1.000 time (seconds)         100 %\n"
                    "End: Mon Dec 07 18:20:35 GMT 2026\n"
                    "---- statit --- 2 ----\n"
                    "Begin: Mon Dec 07 18:20:40 GMT 2026\n"
                    "                       CPU Statistics\n"
                    "             2.000 time (seconds)         100 %\n",
                    10);
  EXPECT_EQ(st.clock.source, report::ClockSource::kStamps);
  ASSERT_FALSE(st.charts.empty());
  EXPECT_EQ(times(st.charts[0]), (std::vector<double>{at(kEnd, 0), at(kEnd, 5)}));
  EXPECT_TRUE(st.charts[0].problems.empty());
}

TEST(Clock, StampsGoingBackwardsOrJumping) {
  Placed d = place("domain_stats.out",
                   "system:system:time:1796660406\n"
                   "processor:processor0:processor_busy:1%\n"
                   "system:system:time:1796660407\n"
                   "processor:processor0:processor_busy:2%\n"
                   "system:system:time:1796660401\n"
                   "processor:processor0:processor_busy:3%\n"
                   "system:system:time:1796660407\n"
                   "processor:processor0:processor_busy:4%\n"
                   "system:system:time:1796660500\n"
                   "processor:processor0:processor_busy:5%\n",
                   1);
  // Backwards and repeated samples are left unplaced; the jump is kept.
  EXPECT_EQ(times(d.charts[0]), (std::vector<double>{1796660406, 1796660407, -1, -1, 1796660500}));
  ASSERT_EQ(d.charts[0].problems.size(), 3u);
  EXPECT_NE(d.charts[0].problems[0].message.find("sample 3"), std::string::npos);
  EXPECT_NE(d.charts[0].problems[1].message.find("sample 4"), std::string::npos);
  EXPECT_NE(d.charts[0].problems[2].message.find("jump by 93 s"), std::string::npos);
  EXPECT_EQ(d.charts[0].problems[2].line, 7u);

  // The last stamp before the Begin stamp, or far from where the rows end.
  Placed back =
      place("sysstat.out", std::string(kEndLine) + " CPU NFS\n 1% 2\n 3% 4\n" + kBeginLine, 1);
  ASSERT_EQ(back.charts[0].problems.size(), 1u);
  EXPECT_NE(back.charts[0].problems[0].message.find("before its Begin"), std::string::npos);
  Placed off =
      place("sysstat.out", std::string(kBeginLine) + " CPU NFS\n 1% 2\n 3% 4\n" + kEndLine, 1);
  ASSERT_EQ(off.charts[0].problems.size(), 1u);
  EXPECT_NE(off.charts[0].problems[0].message.find("rows span 2 s but the stamps 30 s"),
            std::string::npos);
}

TEST(Clock, FilesWithoutABeginStampArePlacedOnElapsedTime) {
  const std::string perfmon =
      "\t   %usr\t   %sys\n"
      "0 s\t     49\t      2\n"
      "1 s\t     51\t      2\n"
      "5 s\t     50\t      2\n";
  // From the iteration's sampling start when the report gives one...
  Placed host = place("system_perfmon.out", perfmon, 10, {-1, 1796660474});
  EXPECT_EQ(host.clock.source, report::ClockSource::kElapsed);
  EXPECT_TRUE(host.clock.anchored);
  EXPECT_EQ(times(host.charts[0]), (std::vector<double>{1796660474, 1796660475, 1796660479}));
  // ...else from 0, unanchored.
  Placed bare = place("system_perfmon.out", perfmon, 10);
  EXPECT_FALSE(bare.clock.anchored);
  EXPECT_EQ(times(bare.charts[0]), (std::vector<double>{0, 1, 5}));
  // A sysstat that lost its Begin line counts intervals the same way.
  Placed cut = place("sysstat.out", " CPU NFS\n 1% 2\n 3% 4\n", 10, {-1, 1000});
  EXPECT_EQ(cut.clock.source, report::ClockSource::kElapsed);
  EXPECT_EQ(times(cut.charts[0]), (std::vector<double>{1010, 1020}));
}

TEST(Clock, SamplingStartsAtTheEndOfEachIterationsPrestats) {
  report::Report r = report::parse_report(report_test::sample_report());
  std::vector<long long> starts = report::sampling_starts(r);
  ASSERT_GE(starts.size(), 3u);
  EXPECT_EQ(starts[1], 1796660474);  // the host's last prestats command
  EXPECT_EQ(starts[2], 1796660672);
}

TEST(Clock, IsoTimes) {
  EXPECT_EQ(report::iso_time(0), "1970-01-01T00:00:00Z");
  EXPECT_EQ(report::iso_time(kBegin), "2026-12-07T18:20:05Z");
  EXPECT_EQ(report::iso_time(951782400 + 0.25), "2000-02-29T00:00:00.250Z");
  EXPECT_EQ(report::iso_time(-1), "1969-12-31T23:59:59Z");
}

}  // namespace
