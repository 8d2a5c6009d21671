#include "report/exports.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "core/test_scratch.h"
#include "report/test_report.h"

namespace {

std::string read_file(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string openmetrics(const std::string& text) {
  std::ostringstream out;
  report::write_openmetrics(report::parse_report(text), out);
  return out.str();
}

// The sample report with its controller c1 renamed.
std::string renamed(const std::string& name) {
  std::string text = report_test::sample_report();
  for (std::size_t at = text.find("c1"); at != std::string::npos; at = text.find("c1", at)) {
    text.replace(at, 2, name);
    at += name.size();
  }
  return text;
}

const char kHostile[] = "../up/\"q\"\\\xC3\xBC\x01x";

TEST(Exports, CsvFieldsAndFileNamesAreScreened) {
  EXPECT_EQ(report::csv_field("plain"), "plain");
  EXPECT_EQ(report::csv_field("a,b"), "\"a,b\"");
  EXPECT_EQ(report::csv_field("say \"hi\""), "\"say \"\"hi\"\"\"");
  EXPECT_EQ(report::csv_field("two\nlines"), "\"two\nlines\"");
  EXPECT_EQ(report::csv_field(" pad"), "\" pad\"");
  EXPECT_EQ(report::csv_field("bad\xFF"), "bad\xEF\xBF\xBD");

  for (const char* hostile : {"..", ".", "../x", "a/b", "", "\x01", "\xC3\xBC", "..\\..\\x"}) {
    std::string name = report::safe_name_part(hostile);
    EXPECT_FALSE(name.empty()) << hostile;
    EXPECT_EQ(
        name.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789._-"),
        std::string::npos)
        << hostile;
    EXPECT_NE(name[0], '.') << hostile;
    EXPECT_EQ(name.find(".."), std::string::npos) << hostile;
  }
  EXPECT_EQ(report::safe_name_part(std::string(200, 'a')).size(), 60u);
}

TEST(Exports, CsvFolderHoldsOneFilePerTableAndTheSections) {
  std::filesystem::path dir = core::test_scratch("exports", "csv");
  std::vector<std::string> written;
  std::string error;
  report::Report r = report::parse_report(report_test::sample_report());
  ASSERT_TRUE(report::write_csv_folder(r, dir.string(), written, error)) << error;
  EXPECT_EQ(written, (std::vector<std::string>{"c1_i1_sysstat.csv", "sections.csv"}));
  // Begin 18:20:05 plus SAMPLE_INTERVAL 10 per row, units in the header.
  EXPECT_EQ(read_file(dir / "c1_i1_sysstat.csv"),
            "time,cpu_pct,nfs_ops_per_s\r\n"
            "2026-12-07T18:20:15Z,11,1176\r\n"
            "2026-12-07T18:20:25Z,28,4387\r\n"
            "2026-12-07T18:20:35Z,93,2598\r\n");
  std::string sections = read_file(dir / "sections.csv");
  EXPECT_EQ(sections.substr(0, sections.find("\r\n")),
            "iteration,phase,target,kind,command,start_time,seconds,status,line,clock");
  EXPECT_NE(sections.find("\r\n1,PRESTATS,c1,command,sysconfig -a,"), std::string::npos);
  EXPECT_NE(sections.find(",sysstat.out,2026-12-07T16:23:21Z,0,ok,70,begin+interval\r\n"),
            std::string::npos)
      << sections;

  // A hostile target name never leaves the folder.
  std::string text = renamed(kHostile);
  std::filesystem::path hostile = core::test_scratch("exports", "csv_hostile");
  written.clear();
  ASSERT_TRUE(
      report::write_csv_folder(report::parse_report(text), hostile.string(), written, error));
  std::size_t files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(hostile)) {
    (void)entry;
    ++files;
  }
  EXPECT_EQ(files, written.size());
  ASSERT_EQ(written.size(), 2u);
  EXPECT_EQ(written[0], "_._up_q_x_i1_sysstat.csv");
  EXPECT_NE(read_file(hostile / "sections.csv").find(",\"../up/\"\"q\"\"\\\xC3\xBC\x01x\","),
            std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(hostile.parent_path() / "up"));
}

TEST(Exports, CsvKeepsCellsThatAreNotNumbersAsText) {
  std::string text = report_test::sample_report();
  text.replace(text.find("       28%      4387"), 20, "       n/a      4387");
  std::filesystem::path dir = core::test_scratch("exports", "csv_text");
  std::vector<std::string> written;
  std::string error;
  ASSERT_TRUE(report::write_csv_folder(report::parse_report(text), dir.string(), written, error));
  EXPECT_NE(read_file(dir / "c1_i1_sysstat.csv").find("\r\n2026-12-07T18:20:25Z,n/a,4387\r\n"),
            std::string::npos);
  // OpenMetrics leaves the cell out and keeps the rest of the row.
  std::string metrics = openmetrics(text);
  EXPECT_EQ(metrics.find("} 28 1796667625\n"), std::string::npos);
  EXPECT_NE(metrics.find("} 4387 1796667625\n"), std::string::npos);
  EXPECT_NE(metrics.find("} 93 1796667635\n"), std::string::npos);
}

TEST(Exports, CsvNamesCollidingAfterScreeningGetANumber) {
  std::string text = report_test::sample_report();
  // A second copy of the sysstat file under a name that screens the same.
  std::size_t from = text.find("=-=-=-=-=-= PERF c1 POSTSTATS =-=-=-=-=-= sysstat.out");
  std::size_t to = text.find("KESTREL_EPOCH", from);
  std::string copy = text.substr(from, to - from);
  std::string first = copy, second = copy;
  first.replace(first.find("sysstat.out"), 11, "sysstat#.out");
  second.replace(second.find("sysstat.out"), 11, "sysstat_.out");
  text.insert(from,
              first + "KESTREL_EPOCH: 1796660601\n\n" + second + "KESTREL_EPOCH: 1796660601\n\n");
  std::filesystem::path dir = core::test_scratch("exports", "csv_collide");
  std::vector<std::string> written;
  std::string error;
  ASSERT_TRUE(report::write_csv_folder(report::parse_report(text), dir.string(), written, error));
  EXPECT_EQ(written, (std::vector<std::string>{"c1_i1_sysstat_.csv", "c1_i1_sysstat_-2.csv",
                                               "c1_i1_sysstat.csv", "sections.csv"}));
}

TEST(Exports, OpenMetricsFamiliesLabelsAndTimestamps) {
  std::string text = openmetrics(report_test::sample_report());
  EXPECT_NE(text.find("# TYPE kestrel_controller_cpu_percent gauge\n"
                      "# UNIT kestrel_controller_cpu_percent percent\n"
                      "# HELP kestrel_controller_cpu_percent CPU busy\n"
                      "kestrel_controller_cpu_percent{target=\"c1\",iteration=\"1\",host=\"h1\","
                      "capture=\"h1-1796660401\"} 11 1796667615\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("} 93 1796667635\n# TYPE kestrel_controller_nfs_ops_per_second gauge\n"),
            std::string::npos);
  EXPECT_EQ(text.substr(text.size() - 6), "# EOF\n");

  std::string hostile = openmetrics(renamed(kHostile));
  EXPECT_NE(hostile.find("{target=\"../up/\\\"q\\\"\\\\\xC3\xBC\xEF\xBF\xBDx\","),
            std::string::npos)
      << hostile;
}

TEST(Exports, ColumnsWithoutASourceAndUnplacedRowsAreLeftOut) {
  std::string text = report_test::sample_report();
  std::size_t at = text.find("=-=-=-=-=-= PERF c1 POSTSTATS =-=-=-=-=-= sysstat.out");
  text.insert(at,
              "=-=-=-=-=-= PERF c1 POSTSTATS =-=-=-=-=-= system_perfmon.out\n"
              "   %usr \t== /proc/stat cpu: user+nice\n"
              "FC kb/s \t== no Linux source, reads 0\n"
              "\t   %usr\tFC kb/s\n"
              "0 s\t     49\t      0\n"
              "1 s\t     51\t      0\n"
              "\n"
              "EXE-TIME of: cat system_perfmon.out : 0 seconds\n"
              "KESTREL_EPOCH: 1796660601\n\n");
  std::string metrics = openmetrics(text);
  EXPECT_NE(metrics.find("kestrel_host_cpu_user_percent{"), std::string::npos);
  EXPECT_EQ(metrics.find("fc_kb"), std::string::npos);
  // Counted from the end of the iteration's prestats (1796660474).
  EXPECT_NE(metrics.find("} 51 1796660475\n"), std::string::npos);

  // Without any epoch the host rows have no wall-clock time: no samples.
  std::string bare;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("KESTREL_EPOCH", 0) == 0 || line.find("BEGIN Iteration") != std::string::npos)
      continue;
    bare += line + "\n";
  }
  EXPECT_EQ(openmetrics(bare).find("kestrel_host_cpu_user_percent{"), std::string::npos);
  // The CSV keeps them, in seconds since the sampler started, and says so.
  std::filesystem::path dir = core::test_scratch("exports", "csv_elapsed");
  std::vector<std::string> written;
  std::string error;
  ASSERT_TRUE(report::write_csv_folder(report::parse_report(bare), dir.string(), written, error));
  EXPECT_EQ(read_file(dir / "c1_i1_system_perfmon.csv"),
            "elapsed_s,cpu_user_pct\r\n0,49\r\n1,51\r\n");
  EXPECT_NE(read_file(dir / "sections.csv")
                .find(",system_perfmon.out,,0,cut,61,\"elapsed, unanchored\"\r\n"),
            std::string::npos);
}

TEST(Exports, LabelValuesAreEscaped) {
  EXPECT_EQ(report::label_value("a\\b\"c\nd"), "a\\\\b\\\"c\\nd");
  EXPECT_EQ(report::label_value("tab\there\r"), "tab\xEF\xBF\xBDhere\xEF\xBF\xBD");
  EXPECT_EQ(report::label_value("\xFF"), "\xEF\xBF\xBD");
}

}  // namespace
