// The clock of the page: sample times and units per chart, the bands of
// each iteration and the events marked on its axis, and the page's JSON
// that carries them.
#include "report/page_clock.h"

#include <gtest/gtest.h>

#include <sstream>

#include "report/output.h"
#include "report/test_report.h"

namespace {

// 18:20:05 of Mon Dec 07 2026, the Begin stamp of the sample's sysstat.out.
constexpr long long kSysstatBegin = 1796667605;

report::Report sample(const std::string& extra_log = "") {
  std::string text = report_test::sample_report();
  if (!extra_log.empty()) {
    const std::string anchor = "=-=-=-=-=-= CONFIG h1 POSTSTATS =-=-=-=-=-= ERROR LOG\n";
    text.insert(text.find(anchor) + anchor.size(), extra_log);
  }
  return report::parse_report(text);
}

const report::SamplerFile& sysstat_of(const std::vector<report::SamplerFile>& files,
                                      const report::Report& r) {
  for (const report::SamplerFile& f : files)
    if (r.sections[f.section].command == "sysstat.out") return f;
  ADD_FAILURE() << "no sysstat.out";
  return files.front();
}

TEST(PageClock, SamplesOfAFileShareOneListOfWallClockTimes) {
  report::Report r = sample();
  std::vector<report::SamplerFile> files = report::sampler_files(r);
  const report::SamplerFile& file = sysstat_of(files, r);
  report::FileTimes t = report::file_times(r, file, report::sampling_starts(r));
  ASSERT_EQ(file.charts.size(), 2u);  // CPU, NFS
  EXPECT_TRUE(t.clock.anchored);
  ASSERT_EQ(t.lists.size(), 1u);
  EXPECT_EQ(t.chart_list, (std::vector<std::size_t>{0, 0}));
  ASSERT_EQ(t.lists[0].size(), 3u);
  for (std::size_t i = 0; i < 3; ++i) {
    ASSERT_TRUE(t.lists[0][i].has_value());
    EXPECT_EQ(*t.lists[0][i], static_cast<double>(kSysstatBegin + 10 * (i + 1)));
  }
}

TEST(PageClock, UnitsComeFromTheDataElseFromTheColumnCatalogue) {
  report::Report r = sample();
  std::vector<report::SamplerFile> files = report::sampler_files(r);
  const report::SamplerFile& file = sysstat_of(files, r);
  EXPECT_EQ(file.charts[0].unit, "%");  // "11%" in the data
  EXPECT_EQ(file.charts[1].unit, "");
  report::FileTimes t = report::file_times(r, file, report::sampling_starts(r));
  EXPECT_EQ(t.units, (std::vector<std::string>{"%", "ops/s"}));

  const std::vector<std::string_view> lines = {
      "Begin: Mon Dec 07 18:20:05 GMT 2026",
      "  CPU   Net_in   Disk_util",
      "  11%   4454KB/s   40",
      "  12%   15   41",
  };
  report::SamplerFile read = report::read_sampler_file("sysstat.out", lines, 1);
  ASSERT_EQ(read.charts.size(), 3u);
  EXPECT_EQ(read.charts[1].unit, "KB/s");
  EXPECT_EQ(read.charts[2].unit, "");
}

TEST(PageClock, FilesWithoutABeginStampKeepTheirElapsedSeconds) {
  report::Report r;
  r.header.sample_interval = 5;
  report::Section section;
  section.kind = report::SectionKind::kFileDump;
  section.command = "system_perfmon.out";
  r.sections.push_back(section);
  const std::vector<std::string_view> lines = {
      "time\t%usr\tFR kb/s",
      "0 s\t10\t200",
      "5 s\t20\t300",
  };
  report::SamplerFile file = report::read_sampler_file("system_perfmon.out", lines, 1);
  file.section = 0;
  ASSERT_EQ(file.charts.size(), 2u);
  // No sampling start known: not on the wall clock, seconds from 0.
  report::FileTimes t = report::file_times(r, file, {});
  EXPECT_FALSE(t.clock.anchored);
  ASSERT_EQ(t.lists.size(), 1u);
  ASSERT_EQ(t.lists[0].size(), 2u);
  EXPECT_EQ(*t.lists[0][0], 0.0);
  EXPECT_EQ(*t.lists[0][1], 5.0);
  EXPECT_EQ(t.units, (std::vector<std::string>{"%", "KB/s"}));
  // With the iteration's sampling start, counted from it.
  t = report::file_times(r, file, {-1, 1796660474});
  EXPECT_TRUE(t.clock.anchored);
  EXPECT_EQ(*t.lists[0][1], 1796660479.0);
}

TEST(PageClock, BandsCoverPrestatsSamplingAndPoststatsOfEachIteration) {
  report::Report r = sample();
  std::vector<report::TimeBand> bands = report::time_bands(r, report::sampling_starts(r));
  std::vector<std::string> seen;
  for (const report::TimeBand& b : bands) {
    seen.push_back(std::to_string(b.iteration) + " " + b.kind + " " + std::to_string(b.from) + "-" +
                   std::to_string(b.to));
  }
  // Iteration 1: prestats from the first command's start (sysconfig -a,
  // 3 s before 1796660404) to the killed arp -a's end; sampling from there
  // to the first timed poststats command (df: the stats stop sections have
  // no times); iteration 2 has prestats only, and its
  // sampling window runs to the iteration's end.
  EXPECT_EQ(seen, (std::vector<std::string>{
                      "1 prestats 1796660401-1796660474",
                      "1 sampling 1796660474-1796660601",
                      "1 poststats 1796660601-1796660601",
                      "2 prestats 1796660611-1796660672",
                      "2 sampling 1796660672-1796660700",
                  }));
}

TEST(PageClock, EventsMarkKilledFailedExcludedAndTroubleInTheErrorLog) {
  report::Report r = sample(
      "Mon Dec 07 16:21:40 GMT 2026 : rsh c1 \"vol status\" timed out, killed\n"
      "Mon Dec 07 18:21:01 GMT 2026 : cat \"C:\\error.log\" 2>>\"C:\\error.log\"\n"
      "Mon Dec 07 18:21:02 GMT 2026 : user-friendly name for cat \"x/error_fail.out\" is y\n");
  std::vector<report::TimeEvent> events = report::time_events(r, report::section_statuses(r));
  std::vector<std::string> seen;
  for (const report::TimeEvent& e : events)
    seen.push_back(std::to_string(e.time) + " " + std::to_string(e.iteration) + " " + e.kind);
  EXPECT_EQ(seen, (std::vector<std::string>{
                      "1796660404 1 excluded",  // snap list
                      "1796660404 1 killed",    // arp -a, 70 s before its end
                      "1796660500 1 log",       // the time-out line; not the invocation
                  }));
  ASSERT_EQ(events.size(), 3u);
  EXPECT_NE(events[1].text.find("arp -a on h1"), std::string::npos);
  EXPECT_NE(events[2].text.find("timed out"), std::string::npos);
  EXPECT_EQ(report::time_events(r, report::section_statuses(r), 1).size(), 1u);
}

TEST(PageClock, ThePageDataCarriesTimesUnitsBandsAndEvents) {
  report::Report r = sample();
  std::ostringstream out;
  report::write_html(r, "sample.out", out);
  const std::string page = out.str();
  EXPECT_NE(page.find("\"bands\":[[1,\"prestats\",1796660401,1796660474]"), std::string::npos);
  EXPECT_NE(page.find("\"events\":[\n[1796660404,1,\"excluded\","), std::string::npos);
  EXPECT_NE(
      page.find("\"clock\":\"begin+interval\",\"anchored\":true,\"times\":[[" +
                std::to_string(kSysstatBegin + 10) + "," + std::to_string(kSysstatBegin + 20) +
                "," + std::to_string(kSysstatBegin + 30) + "]]"),
      std::string::npos);
  EXPECT_NE(page.find("\"title\":\"CPU\",\"x_label\":\"sample\",\"time\":0,\"unit\":\"%\""),
            std::string::npos);
}

}  // namespace
