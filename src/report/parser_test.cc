#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <string>

#include "report/report.h"
#include "report/test_report.h"
#include "report/text.h"

namespace {

using report::SectionKind;

const report::Section* find(const report::Report& r, const std::string& command,
                            int iteration = 1) {
  for (const report::Section& s : r.sections)
    if (s.command == command && s.iteration == iteration) return &s;
  return nullptr;
}

std::vector<std::string> commands(const report::Report& r) {
  std::vector<std::string> list;
  for (const report::Section& s : r.sections) list.push_back(s.command);
  return list;
}

// The short-number path of parse_measure gives what strtod gives, bit for
// bit, on both sides of its 15-digit limit, with units and signs.
TEST(ParseMeasure, AgreesWithStrtod) {
  std::mt19937_64 random(7);
  for (int round = 0; round < 20000; ++round) {
    std::string digits = std::to_string(random() % 10000000000000000000ull);
    digits = digits.substr(0, 1 + random() % digits.size());
    const std::size_t point = random() % (digits.size() + 1);
    std::string text = digits;
    if (point < digits.size()) text.insert(point, ".");
    if (random() % 4 == 0) text = "-" + text;
    const double expected = std::strtod(text.c_str(), nullptr);
    for (const std::string& unit : {std::string(), std::string("%"), std::string("KB/s")}) {
      auto value = report::parse_measure(text + unit);
      ASSERT_TRUE(value.has_value()) << text + unit;
      EXPECT_EQ(*value, expected) << text + unit;
    }
  }
  EXPECT_EQ(*report::parse_measure("0.1"), 0.1);
  EXPECT_EQ(*report::parse_measure("123456789012345.6"), 123456789012345.6);
}

TEST(ParseReport, ReadsAWholeReport) {
  report::Report r = report::parse_report(report_test::sample_report());
  ASSERT_TRUE(r.looks_like_report);
  EXPECT_TRUE(r.complete);
  EXPECT_EQ(r.stop_line, 0u);
  EXPECT_TRUE(r.problems.empty()) << r.problems[0].message;
  EXPECT_EQ(r.total_running_seconds, 299);

  EXPECT_EQ(r.header.version, "7.38");
  EXPECT_EQ(r.header.host_name, "h1");
  EXPECT_EQ(r.header.command_line, "-i 2 -f c1");
  EXPECT_EQ(r.header.samples, 12);
  ASSERT_EQ(r.header.settings.size(), 5u);
  EXPECT_EQ(r.header.settings[2].key, "FILER_TARGETS");
  EXPECT_TRUE(r.header.settings[2].set);
  EXPECT_EQ(r.header.settings[2].value, "c1");

  ASSERT_EQ(r.iterations.size(), 2u);
  EXPECT_EQ(r.iterations[0].begin_epoch, 1796660401);
  EXPECT_EQ(r.iterations[0].end_epoch, 1796660601);
  EXPECT_EQ(r.iterations[1].begin_epoch, 1796660611);
  EXPECT_EQ(r.blocks.size(), 4u);

  std::vector<std::string> expected = {"(text outside sections)",
                                       "date",
                                       "sysconfig -a",
                                       "snap list",
                                       "stats start -I kestrel_stats_1796660404",
                                       "arp -a",
                                       "stats stop -I kestrel_vol",
                                       "stats stop -I kestrel_nfs",
                                       "df",
                                       "sysstat.out",
                                       "date",
                                       "ifstat -a",
                                       "uptime",
                                       "ERROR LOG"};
  EXPECT_EQ(commands(r), expected);
}

TEST(ParseReport, SectionsCarryTheirTimesFlagsAndText) {
  report::Report r = report::parse_report(report_test::sample_report());
  const report::Section* sysconfig = find(r, "sysconfig -a");
  ASSERT_NE(sysconfig, nullptr);
  EXPECT_EQ(sysconfig->kind, SectionKind::kCommand);
  EXPECT_EQ(sysconfig->target, "c1");
  EXPECT_EQ(sysconfig->phase, "PRESTATS");
  EXPECT_EQ(sysconfig->category, "CONFIG");
  EXPECT_EQ(sysconfig->seconds, 3);
  EXPECT_EQ(sysconfig->end_epoch, 1796660404);
  EXPECT_EQ(sysconfig->start_epoch, 1796660401);
  EXPECT_EQ(report::section_text(r, *sysconfig), "Release 7.3.5\n  slot 0: system board");
  EXPECT_TRUE(sysconfig->closed);
  EXPECT_FALSE(sysconfig->empty);

  const report::Section* snap = find(r, "snap list");
  ASSERT_NE(snap, nullptr);
  EXPECT_TRUE(snap->excluded);
  EXPECT_FALSE(snap->empty);

  const report::Section* start = find(r, "stats start -I kestrel_stats_1796660404");
  ASSERT_NE(start, nullptr);
  EXPECT_TRUE(start->empty);

  const report::Section* arp = find(r, "arp -a");
  ASSERT_NE(arp, nullptr);
  EXPECT_TRUE(arp->killed);
  EXPECT_EQ(arp->target, "h1");
  EXPECT_EQ(arp->seconds, 70);

  const report::Section* ifstat = find(r, "ifstat -a", 2);
  ASSERT_NE(ifstat, nullptr);
  EXPECT_EQ(ifstat->seconds, 61);
}

TEST(ParseReport, RecognisesStatsSplitFileDumpsDatesAndTheErrorLog) {
  report::Report r = report::parse_report(report_test::sample_report());
  const report::Section* vol = find(r, "stats stop -I kestrel_vol");
  ASSERT_NE(vol, nullptr);
  EXPECT_EQ(vol->kind, SectionKind::kStatsPreset);
  EXPECT_EQ(vol->seconds, 196);
  EXPECT_EQ(vol->time_stamp, "Mon Dec 07 18:23:20 GMT 2026");
  EXPECT_EQ(vol->end_epoch, 1796660600);
  EXPECT_NE(report::section_text(r, *vol).find("volume:vol0:read_ops:63826"), std::string::npos);
  const report::Section* nfs = find(r, "stats stop -I kestrel_nfs");
  ASSERT_NE(nfs, nullptr);
  EXPECT_EQ(nfs->kind, SectionKind::kStatsPreset);
  EXPECT_TRUE(nfs->closed);

  const report::Section* dump = find(r, "sysstat.out");
  ASSERT_NE(dump, nullptr);
  EXPECT_EQ(dump->kind, SectionKind::kFileDump);
  EXPECT_EQ(dump->begin_stamp, "Mon Dec 07 18:20:05 GMT 2026");
  EXPECT_EQ(dump->end_stamp, "Mon Dec 07 18:22:05 GMT 2026");

  EXPECT_EQ(r.sections[1].kind, SectionKind::kDateHeader);
  EXPECT_EQ(r.sections[1].start_epoch, 1796667601);
  EXPECT_EQ(r.sections.back().kind, SectionKind::kErrorLog);
  EXPECT_EQ(r.sections.front().kind, SectionKind::kLoose);

  ASSERT_TRUE(r.slow_report_seen);
  ASSERT_EQ(r.slow_commands.size(), 2u);
  EXPECT_EQ(r.slow_commands[0].target, "h1");
  EXPECT_EQ(r.slow_commands[0].seconds, 70);
  EXPECT_EQ(r.slow_commands[1].iteration, 2);
  EXPECT_EQ(r.slow_commands[1].command, "ifstat -a");
}

TEST(ParseReport, LineEndsAndStrayBytesDoNotChangeTheStructure) {
  std::string lf = report_test::sample_report();
  std::string crlf;
  for (char c : lf) {
    if (c == '\n') crlf += '\r';
    crlf += c;
  }
  report::Report a = report::parse_report(lf);
  report::Report b = report::parse_report("\xEF\xBB\xBF" + crlf);
  EXPECT_TRUE(b.complete);
  ASSERT_EQ(commands(a), commands(b));
  for (std::size_t i = 0; i < a.sections.size(); ++i) {
    EXPECT_EQ(a.sections[i].seconds, b.sections[i].seconds) << a.sections[i].command;
    EXPECT_EQ(a.sections[i].excluded, b.sections[i].excluded);
  }

  std::string damaged = lf;
  damaged.insert(damaged.find("  slot 0"), std::string("\xff\xfe\0bad", 6));
  report::Report c = report::parse_report(damaged);
  EXPECT_EQ(commands(a), commands(c));
  ASSERT_FALSE(c.problems.empty());
  EXPECT_NE(c.problems[0].message.find("not UTF-8"), std::string::npos);
}

TEST(ParseReport, EveryCutSaysWhereItStopped) {
  const std::string whole = report_test::sample_report();
  std::size_t last_sections = 0;
  for (std::size_t cut = 0; cut + 1 < whole.size(); cut += 7) {
    report::Report r = report::parse_report(whole.substr(0, cut));
    if (!r.looks_like_report) {
      EXPECT_LT(cut, 50u) << "only a cut header can fail to look like a report";
      continue;
    }
    ASSERT_FALSE(r.complete) << "cut at " << cut;
    EXPECT_EQ(r.stop_line, r.lines.size());
    EXPECT_FALSE(r.stop_reason.empty());
    EXPECT_GE(r.sections.size() + 1, last_sections) << "cut at " << cut;
    last_sections = r.sections.size();
  }
  std::string cut = whole.substr(0, whole.find("  slot 0"));
  report::Report r = report::parse_report(cut);
  EXPECT_NE(r.stop_reason.find("inside the section 'sysconfig -a on c1'"), std::string::npos)
      << r.stop_reason;
  EXPECT_FALSE(r.sections.back().closed);
}

TEST(ParseReport, InterruptedAndConfigOnlyEnds) {
  std::string whole = report_test::sample_report();
  std::string interrupted = whole.substr(0, whole.find("=-=-= Kestrel Execution"));
  interrupted.insert(interrupted.find("Mon Dec 07 18:25:00 GMT 2026 : ==="),
                     "Mon Dec 07 18:25:00 GMT 2026 : Kestrel caught signal; quitting...\n");
  report::Report r = report::parse_report(interrupted);
  EXPECT_FALSE(r.complete);
  EXPECT_NE(r.stop_reason.find("interrupted"), std::string::npos) << r.stop_reason;

  std::string config_only = whole.substr(0, whole.find("=-=-= Kestrel Execution"));
  config_only.replace(config_only.find("default,    \"FALSE\""), 19, "set,        \"TRUE\"");
  report::Report c = report::parse_report(config_only);
  EXPECT_TRUE(c.complete) << c.stop_reason;
}

TEST(ParseReport, PretendLinesBecomeSections) {
  report::Report r = report::parse_report(
      "=-=-=-=-=-= BEGIN PRESTATS =-=-=-=-=-= c1\n"
      "Filer: sysconfig -a\n"
      "Filer: df\n"
      "=-=-=-=-=-= END PRESTATS =-=-=-=-=-= c1\n"
      "=-=-=-=-=-= BEGIN PRESTATS =-=-=-=-=-= h1\n"
      "Host: ipconfig /all\n"
      "=-=-=-=-=-= END PRESTATS =-=-=-=-=-= h1\n"
      "Sleep: 2 \n");
  ASSERT_TRUE(r.looks_like_report);
  ASSERT_EQ(r.sections.size(), 3u);
  EXPECT_EQ(r.sections[0].kind, SectionKind::kPretend);
  EXPECT_EQ(r.sections[0].target, "c1");
  EXPECT_EQ(r.sections[1].command, "df");
  EXPECT_EQ(r.sections[2].command, "ipconfig /all");
  EXPECT_EQ(r.sections[2].target, "h1");
  ASSERT_EQ(r.iterations.size(), 1u);
  EXPECT_EQ(r.iterations[0].pretend_sleep_minutes, 2);
}

TEST(ParseReport, LegacyStatsStopIsAnOrdinaryCommand) {
  report::Report r = report::parse_report(
      "=-=-=-=-=-= PERF c1 POSTSTATS =-=-=-=-=-= stats stop -I kestrel_vol\n"
      "TIME: Mon Dec 07 18:23:20 GMT 2026\n"
      "TIME_DELTA: 2:5 (125s)\n"
      "volume:vol0:total_ops:1\n"
      "\n"
      "EXE-TIME of: stats stop -I kestrel_vol : 1 seconds\n"
      "KESTREL_EPOCH: 1796660600\n");
  ASSERT_EQ(r.sections.size(), 1u);
  EXPECT_EQ(r.sections[0].kind, SectionKind::kCommand);
  EXPECT_EQ(r.sections[0].seconds, 1);
  EXPECT_EQ(r.sections[0].time_stamp, "Mon Dec 07 18:23:20 GMT 2026");
}

TEST(ParseReport, DamagedMarkersAndForeignInput) {
  report::Report broken = report::parse_report(
      "=-=-=-=-=-= CONFIG c1 PRESTATS\n"
      "=-=-=-=-=-= \n"
      "=-=-=-=-=-= WHAT IS THIS =-=-=-=-=-= x\n"
      "=-=-=-=-=-= END PRESTATS =-=-=-=-=-= nobody\n"
      "EXE-TIME of: x : lots seconds\n");
  EXPECT_TRUE(broken.looks_like_report);
  EXPECT_FALSE(broken.complete);
  EXPECT_GE(broken.problems.size(), 3u);

  EXPECT_FALSE(report::parse_report("").looks_like_report);
  EXPECT_FALSE(report::parse_report("hello\nworld\n").looks_like_report);
  std::mt19937 random(7);
  std::string binary(100000, '\0');
  for (char& c : binary) c = static_cast<char>(random());
  report::Report noise = report::parse_report(binary);
  EXPECT_FALSE(noise.looks_like_report);
}

TEST(ParseStamp, ReadsTheReportTimeStamp) {
  EXPECT_EQ(report::parse_stamp("Mon Dec 07 18:20:01 GMT 2026"), 1796667601);
  EXPECT_EQ(report::parse_stamp("Thu Jan 01 00:00:00 GMT 1970"), 0);
  EXPECT_EQ(report::parse_stamp("Wed Dec  9 02:45:56 GMT 2026"), 1796784356);
  EXPECT_FALSE(report::parse_stamp("Mon Dec 07 18:20:01 UTC 2026"));
  EXPECT_FALSE(report::parse_stamp("Mon Dex 07 18:20:01 GMT 2026"));
  EXPECT_FALSE(report::parse_stamp("Mon Dec 07 25:20:01 GMT 2026"));
}

}  // namespace
