// What became of each command (ok, empty, failed, killed, excluded) and what
// the page lists at its top.
#include <gtest/gtest.h>

#include <sstream>

#include "report/output.h"
#include "report/summary.h"
#include "report/tables.h"

namespace {

// c1 answers `uptime` in iteration 1 and fails it in iteration 2, `df`
// answers nothing, `vol status` is killed, `snap list` excluded; the host's
// `arp -a` fails. The error text follows each invocation in the error log.
std::string failing_report(const std::string& error_text, const std::string& config_only) {
  return R"(*------------- Kestrel v7.38 -------------*
CONFIG_ONLY,         default,    ")" +
         config_only + R"("
FILER_TARGETS,       set,        "c1"
ITERATIONS,          set,        "2"

SOURCE_HOST_NAME,    h1
SOURCE_HOST_OS,      Linux
COMMAND_LINE,       -i 2 -f c1 

SAMPLES,            12
SAMPLE_INTERVAL,    10

=-=-=-=-=-= BEGIN Iteration 1 =-=-=-=-=-= Mon Dec 07 18:20:01 GMT 2026
KESTREL_EPOCH: 1796660401
=-=-=-=-=-= BEGIN PRESTATS =-=-=-=-=-= c1
=-=-=-=-=-= CONFIG c1 PRESTATS =-=-=-=-=-= uptime
 6:20pm up 3 days

EXE-TIME of: uptime : 0 seconds
KESTREL_EPOCH: 1796660401

=-=-=-=-=-= CONFIG c1 PRESTATS =-=-=-=-=-= df

EXE-TIME of: df : 0 seconds
KESTREL_EPOCH: 1796660401

=-=-=-=-=-= CONFIG c1 PRESTATS =-=-=-=-=-= vol status -v
Killing process tree at PID: 4242...

EXE-TIME of: vol status -v : 2 seconds
KESTREL_EPOCH: 1796660403

=-=-=-=-=-= CONFIG c1 PRESTATS =-=-=-=-=-= snap list
Excluded: rsh c1 "snap list"

EXE-TIME of: snap list : 0 seconds
KESTREL_EPOCH: 1796660403

=-=-=-=-=-= END PRESTATS =-=-=-=-=-= c1
=-=-=-=-=-= BEGIN PRESTATS =-=-=-=-=-= h1
=-=-=-=-=-= CONFIG h1 PRESTATS =-=-=-=-=-= arp -a

EXE-TIME of: arp -a : 1 seconds
KESTREL_EPOCH: 1796660404

=-=-=-=-=-= END PRESTATS =-=-=-=-=-= h1
=-=-=-=-=-= BEGIN POSTSTATS =-=-=-=-=-= c1
=-=-=-=-=-= PERF c1 POSTSTATS =-=-=-=-=-= sysstat.out
Begin: Mon Dec 07 18:20:01 GMT 2026
       CPU
       11%
Killing process tree at PID: 4343...

EXE-TIME of: type "/tmp/k/c1/sysstat.out" : 0 seconds
KESTREL_EPOCH: 1796660405

=-=-=-=-=-= END POSTSTATS =-=-=-=-=-= c1
=-=-=-=-=-= END Iteration 1 =-=-=-=-=-= Mon Dec 07 18:20:05 GMT 2026
KESTREL_EPOCH: 1796660405
=-=-=-=-=-= BEGIN Iteration 2 =-=-=-=-=-= Mon Dec 07 18:20:10 GMT 2026
KESTREL_EPOCH: 1796660410
=-=-=-=-=-= BEGIN PRESTATS =-=-=-=-=-= c1
=-=-=-=-=-= CONFIG c1 PRESTATS =-=-=-=-=-= uptime

EXE-TIME of: uptime : 0 seconds
KESTREL_EPOCH: 1796660410

=-=-=-=-=-= END PRESTATS =-=-=-=-=-= c1
=-=-=-=-=-= END Iteration 2 =-=-=-=-=-= Mon Dec 07 18:20:11 GMT 2026
KESTREL_EPOCH: 1796660411
=-=-=-=-=-= CONFIG h1 POSTSTATS =-=-=-=-=-= ERROR LOG
Mon Dec 07 18:20:01 GMT 2026 : tmp env var set to "/tmp"
Mon Dec 07 18:20:01 GMT 2026 : rsh c1 -l root -n  " uptime " 2>>"/tmp/k/stderr"
Mon Dec 07 18:20:01 GMT 2026 : rsh c1 -l root -n  " df " 2>>"/tmp/k/stderr"
Mon Dec 07 18:20:01 GMT 2026 : rsh c1 -l root -n  " vol status -v " 2>>"/tmp/k/stderr"
Mon Dec 07 18:20:03 GMT 2026 : Successfully killed process tree at root PID: 4242
Mon Dec 07 18:20:04 GMT 2026 : arp -a 2>>"/tmp/k/error.log"
arp: socket: permission denied
Mon Dec 07 18:20:10 GMT 2026 : rsh c1 -l root -n  " uptime " 2>>"/tmp/k/stderr"
)" + error_text +
         R"(
Mon Dec 07 18:20:11 GMT 2026 : === Report of Commands that took longer than 60 seconds to execute ===
Mon Dec 07 18:20:11 GMT 2026 : Host		Iteration		Total_Time		Command
Mon Dec 07 18:20:11 GMT 2026 : === End Command Report ===
=-=-= Kestrel Execution Statistics -=-=-=-=
  Total Running Time: 10 seconds
)";
}

const report::Section* find(const report::Report& r, const std::string& command, int iteration,
                            std::size_t& index) {
  for (index = 0; index < r.sections.size(); ++index)
    if (r.sections[index].command == command && r.sections[index].iteration == iteration)
      return &r.sections[index];
  return nullptr;
}

report::SectionStatus status_of(const report::Report& r,
                                const std::vector<report::SectionStatus>& states,
                                const std::string& command, int iteration) {
  std::size_t index = 0;
  if (find(r, command, iteration, index) == nullptr) return {report::Status::kOk, "missing"};
  return states[index];
}

TEST(SectionStatus, FailedEmptyKilledAndExcludedAreTold) {
  report::Report r = report::parse_report(failing_report("uptime: <b>clock</b> stopped", "FALSE"));
  ASSERT_TRUE(r.complete) << report::status_line(r);
  std::vector<report::SectionStatus> states = report::section_statuses(r);
  ASSERT_EQ(states.size(), r.sections.size());

  report::SectionStatus first = status_of(r, states, "uptime", 1);
  EXPECT_EQ(first.status, report::Status::kOk) << first.message;
  report::SectionStatus second = status_of(r, states, "uptime", 2);
  EXPECT_EQ(second.status, report::Status::kFailed);
  EXPECT_EQ(second.message, "uptime: <b>clock</b> stopped");

  report::SectionStatus df = status_of(r, states, "df", 1);
  EXPECT_EQ(df.status, report::Status::kEmpty);
  EXPECT_EQ(df.message, "");

  report::SectionStatus vol = status_of(r, states, "vol status -v", 1);
  EXPECT_EQ(vol.status, report::Status::kKilled);
  EXPECT_EQ(vol.message, "Killing process tree at PID: 4242...");

  EXPECT_EQ(status_of(r, states, "snap list", 1).status, report::Status::kExcluded);

  // A sampler killed at the time-out says so in its file.
  report::SectionStatus sysstat = status_of(r, states, "sysstat.out", 1);
  EXPECT_EQ(sysstat.status, report::Status::kKilled);
  EXPECT_EQ(sysstat.message, "Killing process tree at PID: 4343...");

  report::SectionStatus arp = status_of(r, states, "arp -a", 1);
  EXPECT_EQ(arp.status, report::Status::kFailed);
  EXPECT_EQ(arp.message, "arp: socket: permission denied");

  EXPECT_STREQ(report::status_name(report::Status::kFailed), "failed");
  EXPECT_STREQ(report::status_name(report::Status::kKilled), "killed");
}

TEST(SectionStatus, ErrorTextWithoutItsCommandNamesNoSection) {
  // Error text before any invocation, and an invocation of a command that
  // has no section, leave every section as it was.
  std::string text = failing_report("", "FALSE");
  text.insert(text.find("Mon Dec 07 18:20:01 GMT 2026 : tmp env"), "stray error text\n");
  text.insert(text.find("Mon Dec 07 18:20:04 GMT 2026 : arp -a"),
              "Mon Dec 07 18:20:04 GMT 2026 : rsh c1 -l root -n  \" ghost \" 2>>\"/x\"\n"
              "ghost: not found\n");
  text.replace(text.find("arp: socket"), 30, "");
  report::Report r = report::parse_report(text);
  std::vector<report::SectionStatus> states = report::section_statuses(r);
  for (std::size_t i = 0; i < states.size(); ++i)
    EXPECT_NE(states[i].status, report::Status::kFailed) << r.sections[i].command;
  EXPECT_EQ(status_of(r, states, "df", 1).status, report::Status::kEmpty);
}

TEST(SectionStatus, DurationsSayUnderASecond) {
  EXPECT_EQ(report::duration_label(0), "<1 s");
  EXPECT_EQ(report::duration_label(7), "7 s");
  EXPECT_EQ(report::duration_label(-1), "");
}

std::string page_of(const std::string& text) {
  std::ostringstream out;
  report::write_html(report::parse_report(text), "r.out", out);
  return out.str();
}

TEST(PageProblems, ListsFailedAndKilledCommandsFirstWithTheirMessages) {
  std::string page = page_of(failing_report("<script>alert(1)</script>", "FALSE"));
  std::size_t failures = page.find("<ul id=\"failures\" data-count=\"4\">");
  ASSERT_NE(failures, std::string::npos);
  // Above the header table, so it is the first thing read.
  EXPECT_LT(failures, page.find("id=\"run-header\""));
  std::string list = page.substr(failures, page.find("</ul>", failures) - failures);
  EXPECT_NE(list.find("data-status=\"killed\""), std::string::npos) << list;
  EXPECT_NE(list.find("vol status -v</a> on c1"), std::string::npos) << list;
  EXPECT_NE(list.find("Killing process tree at PID: 4242..."), std::string::npos) << list;
  EXPECT_NE(list.find("arp: socket: permission denied"), std::string::npos) << list;
  EXPECT_NE(list.find("sysstat.out</a> on c1"), std::string::npos) << list;
  // The controller's error text is shown, never run.
  EXPECT_NE(list.find("&lt;script&gt;alert(1)&lt;/script&gt;"), std::string::npos) << list;
  EXPECT_EQ(page.find("<script>alert"), std::string::npos);
  // The empty command is not among them; it is counted as empty, not failed.
  EXPECT_EQ(list.find(">df<"), std::string::npos) << list;
  // The page's data carries each status and message; the message stays
  // inside its script.
  EXPECT_NE(page.find(",\"failed\",\"\\u003cscript\\u003ealert(1)\\u003c/script\\u003e\"]"),
            std::string::npos);
  EXPECT_NE(page.find(",\"empty\",\"\"]"), std::string::npos);
  // A failed command that wrote nothing is failed, not also empty.
  EXPECT_NE(page.find("\"uptime\",0,\"failed\","), std::string::npos);
  EXPECT_EQ(page.find("\"empty,failed\""), std::string::npos);
}

TEST(PageProblems, SlowestListSaysUnderASecond) {
  std::string page = page_of(failing_report("x", "FALSE"));
  std::size_t slowest = page.find("id=\"slowest\"");
  ASSERT_NE(slowest, std::string::npos);
  std::string table = page.substr(slowest, page.find("</table>", slowest) - slowest);
  EXPECT_NE(table.find("<td>2 s</td>"), std::string::npos) << table;
  EXPECT_NE(table.find("<td>&lt;1 s</td>"), std::string::npos) << table;
}

TEST(PageCharts, AConfigurationOnlyReportHasNoCharts) {
  std::string text = failing_report("", "TRUE");
  // A table a configuration-only run would never have sampled.
  std::string dump =
      "=-=-=-=-=-= PERF c1 POSTSTATS =-=-=-=-=-= sysstat.out\n"
      "       CPU       NFS\n"
      "       11%      1176\n"
      "       28%      4387\n"
      "\n"
      "EXE-TIME of: type sysstat.out : 0 seconds\n"
      "KESTREL_EPOCH: 1796660411\n\n";
  text.insert(text.find("=-=-=-=-=-= END Iteration 2"), dump);
  report::Report r = report::parse_report(text);
  EXPECT_TRUE(report::config_only_report(r));
  EXPECT_TRUE(report::sampler_files(r).empty());
  report::Report sampled =
      report::parse_report(text.replace(text.find("\"TRUE\""), 6, "\"FALSE\""));
  EXPECT_FALSE(report::config_only_report(sampled));
  EXPECT_EQ(report::sampler_files(sampled).size(), 1u);
}

}  // namespace
