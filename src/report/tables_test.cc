#include "report/tables.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

std::vector<std::string_view> lines_of(const std::string& text) {
  std::vector<std::string_view> lines;
  std::string_view rest(text);
  while (!rest.empty()) {
    std::size_t end = rest.find('\n');
    if (end == std::string_view::npos) end = rest.size();
    lines.push_back(rest.substr(0, end));
    rest.remove_prefix(std::min(rest.size(), end + 1));
  }
  return lines;
}

report::SamplerFile read(const std::string& name, const std::string& text) {
  return report::read_sampler_file(name, lines_of(text), 1);
}

std::vector<std::string> titles(const report::SamplerFile& file) {
  std::vector<std::string> list;
  for (const report::Chart& c : file.charts) list.push_back(c.title);
  return list;
}

TEST(SamplerFiles, SysstatChartsEachColumnAndStopsAtTheSummary) {
  report::SamplerFile f = read("sysstat.out",
                               "Begin: Mon Dec 07 18:20:05 GMT 2026\n"
                               "       CPU       NFS   Net_in\n"
                               "       11%      1176      100\n"
                               "       28%      4387      200\n"
                               "--\n"
                               "Summary Statistics (     2 samples    10.0 secs/sample)\n"
                               "       CPU       NFS   Net_in\n"
                               "Min\n"
                               "       11%      1176      100\n"
                               "Begin: Mon Dec 07 18:22:05 GMT 2026\n");
  EXPECT_EQ(f.kind, "sysstat");
  ASSERT_EQ(titles(f), (std::vector<std::string>{"CPU", "NFS", "Net_in"}));
  const report::Chart& cpu = f.charts[0];
  EXPECT_EQ(cpu.x, (std::vector<double>{1, 2}));
  ASSERT_EQ(cpu.series.size(), 1u);
  EXPECT_EQ(cpu.series[0], (std::vector<double>{11, 28}));
  EXPECT_EQ(report::point_count(f.charts[1]), 2u);
  EXPECT_TRUE(f.problems.empty());
}

TEST(SamplerFiles, StackedHeadersNameColumnsAndInstancesMakeSeries) {
  report::SamplerFile lun =
      read("lun_stats.out",
           "    Read  Write  Other  QFull   Read  Write  Average   Queue  Lun\n"
           "     Ops    Ops    Ops           kB     kB  Latency  Length\n"
           "    4936   3881     19      0   2893   4058     1.50    1.32  /vol/a\n"
           "    4011   4378     40      0   2260   4775     8.40    3.12  /vol/b\n"
           "     289   1344      8      0    986   2573     0.60    1.44  /vol/a\n");
  ASSERT_EQ(lun.charts.size(), 8u);
  EXPECT_EQ(lun.charts[0].title, "Read Ops");
  EXPECT_EQ(lun.charts[3].title, "QFull");
  EXPECT_EQ(lun.charts[6].title, "Average Latency");
  EXPECT_EQ(lun.charts[0].names, (std::vector<std::string>{"/vol/a", "/vol/b"}));
  EXPECT_EQ(lun.charts[0].series[0], (std::vector<double>{4936, 289}));
  EXPECT_EQ(lun.charts[0].series[1][0], 4011);
  EXPECT_TRUE(std::isnan(lun.charts[0].series[1][1]));

  report::SamplerFile vif = read("vifstat_vif0.out",
                                 "Virtual interface (trunk) vif0\n"
                                 " e0a                  e0b                 \n"
                                 " In         Out       In         Out      \n"
                                 " 3479       488       4536       1301     \n"
                                 " 4334       3679      1001       974      \n");
  EXPECT_EQ(titles(vif), (std::vector<std::string>{"e0a In", "e0a Out", "e0b In", "e0b Out"}));
  EXPECT_EQ(vif.charts[3].series[0], (std::vector<double>{1301, 974}));
}

TEST(SamplerFiles, HostCounterTablesUseTheirTimeLabels) {
  report::SamplerFile system = read("system_perfmon.out",
                                    "   %usr \t== \\Processor(_Total)\\% User Time\n"
                                    "FR kb/s \t== \\System\\File Read Bytes/sec\n"
                                    "\t   %usr\tFR kb/s\n"
                                    "0 s\t     49\t      7\n"
                                    "10 s\t     51\t     15\n");
  EXPECT_EQ(titles(system), (std::vector<std::string>{"%usr", "FR kb/s"}));
  EXPECT_EQ(system.charts[0].x, (std::vector<double>{0, 10}));
  EXPECT_EQ(system.charts[0].x_label, "seconds");
  EXPECT_EQ(system.charts[1].series[0], (std::vector<double>{7, 15}));

  report::SamplerFile disk = read("ldisk_perfmon.out",
                                  "%DT \t== % Disk Time\n"
                                  "                %DT     aQL     \n"
                                  "      C: 0s       3     0.5\n"
                                  "  _Total 0s       4     0.7\n"
                                  "                %DT     aQL     \n"
                                  "      C: 10s      5     1.5\n"
                                  "  _Total 10s      6     1.7\n");
  ASSERT_EQ(titles(disk), (std::vector<std::string>{"%DT", "aQL"}));
  EXPECT_EQ(disk.charts[1].names, (std::vector<std::string>{"C:", "_Total"}));
  EXPECT_EQ(disk.charts[1].x, (std::vector<double>{0, 10}));
  EXPECT_EQ(disk.charts[1].series[1], (std::vector<double>{0.7, 1.7}));
}

TEST(SamplerFiles, StatsShowRowsGroupByCounterAndInstance) {
  report::SamplerFile f = read("domain_stats.out",
                               "Begin: Mon Dec 07 18:20:05 GMT 2026\n"
                               "system:system:time:1796667605\n"
                               "processor:processor0:domain_busy:1,2,3\n"
                               "processor:processor0:processor_busy:21%\n"
                               "processor:processor1:processor_busy:66%\n"
                               "system:system:time:1796667606\n"
                               "processor:processor0:domain_busy:4,5,6\n"
                               "processor:processor0:processor_busy:44%\n"
                               "processor:processor1:processor_busy:47%\n"
                               "broken line\n");
  ASSERT_EQ(titles(f),
            (std::vector<std::string>{"processor:domain_busy", "processor:processor_busy"}));
  EXPECT_EQ(f.charts[0].names,
            (std::vector<std::string>{"processor0[0]", "processor0[1]", "processor0[2]"}));
  EXPECT_EQ(f.charts[0].series[2], (std::vector<double>{3, 6}));
  EXPECT_EQ(f.charts[1].series[1], (std::vector<double>{66, 47}));
  // The time counter is the samples' clock, not a chart.
  EXPECT_EQ(f.stamps, (std::vector<long long>{1796667605, 1796667606}));
  ASSERT_EQ(f.problems.size(), 1u);
  EXPECT_EQ(f.problems[0].line, 10u);
}

TEST(SamplerFiles, StatitChartsTheStutterReports) {
  std::string one_report =
      "\nHostname: c1  ID: 0151078185  Memory: 8192 MB\n"
      "  Corvex Release 7.3.5: Fri Nov 2 2012\n"
      "    Start time: Wed Dec  9 02:45:56 GMT 2026\n\n"
      "                       CPU Statistics\n"
      "             1.000 time (seconds)         100 %\n"
      "                40 system time               89 %\n\n"
      "                       Disk Statistics (per second)\n"
      "disk             ut%  xfers  ureads--chain-usecs writes--chain-usecs\n"
      "/aggr0/plex0/rg0:\n"
      "0a.16             93   2187      77   1.00   2324    444   1.00   1307\n";
  std::string text =
      "---- statit first 1/2 --- 55 seconds ----\nBegin: Mon Dec 07 18:20:05 GMT 2026\n" +
      one_report + "End: Mon Dec 07 18:21:00 GMT 2026\n...\n";
  for (int i = 1; i <= 3; ++i) {
    text += "---- statit --- " + std::to_string(i) + " ----\n" + one_report;
  }
  report::SamplerFile f = read("statit.out", text);
  std::vector<std::string> names = titles(f);
  ASSERT_EQ(names.size(), 2u + 8u);
  EXPECT_EQ(names[0], "CPU Statistics: value");
  EXPECT_EQ(names[1], "CPU Statistics: percent");
  EXPECT_EQ(names[2], "Disk Statistics (per second): ut%");
  EXPECT_EQ(names[5], "Disk Statistics (per second): chain");
  EXPECT_EQ(names[8], "Disk Statistics (per second): chain 2");
  EXPECT_EQ(f.charts[1].x, (std::vector<double>{1, 2, 3}));
  EXPECT_EQ(f.charts[1].names, (std::vector<std::string>{"time (seconds)", "system time"}));
  EXPECT_EQ(f.charts[1].series[1], (std::vector<double>{89, 89, 89}));
}

TEST(SamplerFiles, UnknownFilesAreChartedWhenTheyAreTables) {
  report::SamplerFile table = read("mystery.out",
                                   "name  reads  writes\n"
                                   "a     1      2\n"
                                   "a     3      4\n"
                                   "a     5\n"
                                   "a     7      ?      8\n"
                                   "a     9      10\n");
  EXPECT_EQ(table.kind, "table");
  ASSERT_EQ(titles(table), (std::vector<std::string>{"reads", "writes"}));
  EXPECT_EQ(table.charts[0].series[0], (std::vector<double>{1, 3, 9}));
  ASSERT_EQ(table.problems.size(), 2u);
  EXPECT_EQ(table.problems[0].line, 4u);
  EXPECT_NE(table.problems[0].message.find("ragged"), std::string::npos);
  EXPECT_EQ(table.problems[1].line, 5u);

  report::SamplerFile listing = read("TCP_Params.reg",
                                     "Windows Registry Editor Version 5.00\n"
                                     "\"TcpTimedWaitDelay\"=dword:0000001e\n"
                                     "Size Name\n"
                                     "12 kernel\n");
  EXPECT_TRUE(listing.charts.empty());
  EXPECT_TRUE(listing.problems.empty());
}

TEST(SamplerFiles, CellsThatAreNotNumbersAreKeptAsText) {
  report::SamplerFile f = read("sysstat.out",
                               "  CPU   NFS   CIFS\n"
                               "  11%   1176  5\n"
                               "  n/a   4387  6\n"
                               "  93%   -     7\n"
                               "  1%    2\n");
  ASSERT_EQ(titles(f), (std::vector<std::string>{"CPU", "NFS", "CIFS"}));
  ASSERT_EQ(f.charts[0].series[0].size(), 3u);
  EXPECT_TRUE(std::isnan(f.charts[0].series[0][1]));
  EXPECT_EQ(f.charts[1].series[0][1], 4387);
  EXPECT_EQ(f.charts[2].series[0], (std::vector<double>{5, 6, 7}));
  ASSERT_EQ(f.charts[0].texts.size(), 1u);
  EXPECT_EQ(f.charts[0].texts[0].sample, 1u);
  EXPECT_EQ(f.charts[0].texts[0].text, "n/a");
  ASSERT_EQ(f.charts[1].texts.size(), 1u);
  EXPECT_EQ(f.charts[1].texts[0].sample, 2u);
  EXPECT_EQ(f.charts[1].texts[0].text, "-");
  // Kept rows are told; the short row is still ragged.
  ASSERT_EQ(f.problems.size(), 3u);
  EXPECT_EQ(f.problems[0].line, 3u);
  EXPECT_NE(f.problems[2].message.find("ragged"), std::string::npos);
}

// sysstat's CP_type is a letter per row between numbers: the table is read
// whole, the letters kept for the rules, and the column is no chart.
TEST(SamplerFiles, ATextColumnBetweenNumbersKeepsTheTable) {
  report::SamplerFile f = read("sysstat.out",
                               "  CPU  CP_time  CP_type  Disk_util\n"
                               "  11%  20%      T        30%\n"
                               "  12%  97%      B        31%\n"
                               "  13%  20%      -        32%\n"
                               "  14%  n/a      b        33%\n");
  ASSERT_EQ(titles(f), (std::vector<std::string>{"CPU", "CP_time", "Disk_util"}));
  EXPECT_EQ(f.charts[2].series[0], (std::vector<double>{30, 31, 32, 33}));
  EXPECT_EQ(f.charts[2].unit, "%");
  ASSERT_EQ(f.text_columns.size(), 1u);
  EXPECT_EQ(f.text_columns[0].title, "CP_type");
  std::vector<std::string> letters;
  for (const report::Chart::Text& t : f.text_columns[0].texts) letters.push_back(t.text);
  EXPECT_EQ(letters, (std::vector<std::string>{"T", "B", "-", "b"}));
  // Letters where letters belong are no problem; text in a number column is.
  ASSERT_EQ(f.problems.size(), 1u);
  EXPECT_EQ(f.problems[0].line, 5u);
}

TEST(SamplerFiles, CounterValuesThatAreNotNumbersAreKeptAsText) {
  report::SamplerFile f = read("protocol_stats.out",
                               "system:system:cpu_busy:45%\n"
                               "system:system:state:up\n"
                               "system:system:cpu_busy:n/a\n"
                               "system:system:state:down\n"
                               "system:system:cpu_busy:47%\n");
  // A counter with no number at all makes no chart.
  ASSERT_EQ(titles(f), (std::vector<std::string>{"system:cpu_busy"}));
  ASSERT_EQ(f.charts[0].series[0].size(), 3u);
  EXPECT_TRUE(std::isnan(f.charts[0].series[0][1]));
  EXPECT_EQ(f.charts[0].series[0][2], 47);
  ASSERT_EQ(f.charts[0].texts.size(), 1u);
  EXPECT_EQ(f.charts[0].texts[0].sample, 1u);
  EXPECT_EQ(f.charts[0].texts[0].text, "n/a");
  EXPECT_EQ(f.problems.size(), 3u);
}

// Only series over time are charts: the noise a page must not show.
TEST(SamplerFiles, OnlyTimeSeriesWithASourceAreCharted) {
  // A column whose legend says it has no source reads 0 throughout: left out.
  report::SamplerFile system = read("system_perfmon.out",
                                    "   %usr \t== /proc/stat cpu: user+nice, percent\n"
                                    "FCops/s \t== no Linux source, reads 0\n"
                                    "\t   %usr\tFCops/s\n"
                                    "0 s\t     49\t      0\n"
                                    "10 s\t     51\t      0\n");
  EXPECT_EQ(titles(system), (std::vector<std::string>{"%usr"}));
  EXPECT_EQ(system.charts[0].series[0], (std::vector<double>{49, 51}));

  // A sampler that wrote one row has no time axis.
  report::SamplerFile once = read("sysstat.out",
                                  "       CPU       NFS\n"
                                  "       11%      1176\n");
  EXPECT_TRUE(once.charts.empty());
  report::SamplerFile statit = read("statit.out",
                                    "---- statit report 1\n"
                                    " CPU Statistics\n"
                                    "      1.0 time  100% busy\n");
  EXPECT_TRUE(statit.charts.empty());

  // The host's configuration exports are text, however many rows of numbers
  // they hold.
  std::string rows = "key value other\n";
  for (int i = 0; i < 5; ++i) rows += "net.ipv4.x " + std::to_string(i) + " 1\n";
  for (const char* name : {"TCP_Params.reg", "msinfo_1.out", "msinfo_2.out"}) {
    report::SamplerFile exported = read(name, rows);
    EXPECT_TRUE(exported.charts.empty()) << name;
    EXPECT_EQ(exported.kind, "host configuration export") << name;
  }
  // The same rows in a file of unknown name are a table.
  EXPECT_FALSE(read("mystery.out", "n reads\na 1\na 2\n").charts.empty());
}

}  // namespace
