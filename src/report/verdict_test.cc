// The verdict: statistics of known series, every rule of the table at its
// boundary, busiest-first order, and a crafted report end to end (rows,
// findings with their windows and lines, the page block, the text).
#include "report/verdict.h"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "report/text.h"

namespace report {
namespace {

TEST(VerdictStatistics, KnownSeries) {
  std::vector<double> hundred;
  for (int i = 100; i >= 1; --i) hundred.push_back(i);  // order must not matter
  Stats s = statistics(hundred);
  EXPECT_EQ(s.count, 100u);
  EXPECT_EQ(s.min, 1);
  EXPECT_EQ(s.max, 100);
  EXPECT_DOUBLE_EQ(s.mean, 50.5);
  EXPECT_EQ(s.p95, 95);

  // Nearest rank: ceil(0.95 * 20) = 19th value; of 19 values the 19th.
  std::vector<double> twenty;
  for (int i = 1; i <= 20; ++i) twenty.push_back(i * 10);
  EXPECT_EQ(statistics(twenty).p95, 190);
  twenty.pop_back();
  EXPECT_EQ(statistics(twenty).p95, 190);

  // One spike among quiet rows moves max, not p95.
  std::vector<double> spike(40, 5.0);
  spike[17] = 99;
  Stats sp = statistics(spike);
  EXPECT_EQ(sp.p95, 5);
  EXPECT_EQ(sp.max, 99);

  // Missing values are left out; none at all gives no statistics.
  Stats gaps = statistics({std::nan(""), 7, std::nan(""), 3});
  EXPECT_EQ(gaps.count, 2u);
  EXPECT_EQ(gaps.min, 3);
  EXPECT_EQ(gaps.mean, 5);
  EXPECT_EQ(gaps.p95, 7);
  EXPECT_EQ(statistics({std::nan("")}).count, 0u);
  EXPECT_EQ(statistics({42}).p95, 42);
}

// A series of `off` rows, `on` rows where the rule holds, `off` rows again,
// one row every `interval` seconds from t0.
Series crafted(const Rule& rule, std::size_t before, std::size_t on, std::size_t after,
               double interval, bool holding_value_off = false) {
  Series s;
  s.interval = interval;
  const double t0 = 1796660400;
  const std::size_t n = before + on + after;
  for (std::size_t i = 0; i < n; ++i) {
    bool hold = i >= before && i < before + on && !holding_value_off;
    s.times.push_back(t0 + interval * static_cast<double>(i + 1));
    s.lines.push_back(100 + i);
    switch (rule.condition) {
      case Condition::kAtLeast:
        s.values.push_back(hold ? rule.threshold : rule.threshold - 0.01);
        s.texts.emplace_back();
        break;
      case Condition::kBelow:
        s.values.push_back(hold ? rule.threshold - 0.01 : rule.threshold);
        s.texts.emplace_back();
        break;
      default:
        s.values.push_back(std::nan(""));
        s.texts.emplace_back(hold ? std::string(1, rule.letters[0]) : std::string(":"));
    }
  }
  return s;
}

Series guard_for(const Series& s, double value) {
  Series g = s;
  g.values.assign(s.values.size(), value);
  return g;
}

TEST(VerdictRules, EachRuleFiresAtItsBoundaryAndNotBelowIt) {
  std::size_t checked = 0;
  for (const Rule& rule : rules()) {
    if (rule.condition != Condition::kAtLeast && rule.condition != Condition::kBelow &&
        rule.condition != Condition::kTextIn)
      continue;
    SCOPED_TRACE(rule.id);
    for (double interval : {1.0, 5.0, 10.0}) {
      SCOPED_TRACE(interval);
      // Rows needed to cover the rule's duration: each row stands for one interval.
      std::size_t rows = static_cast<std::size_t>(std::ceil(rule.seconds / interval));
      if (rows == 0) rows = 1;
      bool exact = static_cast<double>(rows) * interval == rule.seconds || rule.seconds == 0;
      Series at = crafted(rule, 2, rows, 2, interval);
      Series short_run = crafted(rule, 2, rows - 1, 2, interval);
      Series off = crafted(rule, 2, rows + 5, 2, interval, true);
      Series guard_ok = guard_for(at, rule.guard_value);
      Series guard_low = guard_for(at, rule.guard_value - 1);
      const bool guarded = *rule.guard_column != '\0';
      std::vector<Window> fired = sustained(rule, at, guarded ? &guard_ok : nullptr);
      ASSERT_EQ(fired.size(), 1u);
      EXPECT_EQ(fired[0].first, 2u);
      EXPECT_EQ(fired[0].last, 2 + rows - 1);
      EXPECT_DOUBLE_EQ(fired[0].from, at.times[2] - interval);
      EXPECT_DOUBLE_EQ(fired[0].to, at.times[2 + rows - 1]);
      EXPECT_GE(fired[0].to - fired[0].from, rule.seconds);
      if (exact) {
        EXPECT_DOUBLE_EQ(fired[0].to - fired[0].from, std::max(rule.seconds, interval));
      }
      EXPECT_TRUE(sustained(rule, short_run, guarded ? &guard_ok : nullptr).empty());
      EXPECT_TRUE(sustained(rule, off, guarded ? &guard_ok : nullptr).empty());
      if (guarded) {
        EXPECT_TRUE(sustained(rule, at, &guard_low).empty());
      }
      // An unplaced row in the middle splits a long run in two short ones.
      Series split = crafted(rule, 2, 2 * rows + 1, 2, interval);
      split.times[2 + rows] = std::nan("");
      Series split_guard = guard_for(split, rule.guard_value);
      std::size_t halves = sustained(rule, split, guarded ? &split_guard : nullptr).size();
      EXPECT_EQ(halves, 2u);
      ++checked;
    }
  }
  EXPECT_GE(checked, 3u * 7u);  // every series rule of the table, three intervals each
}

TEST(VerdictRules, TheTableHoldsTheIssuesThresholds) {
  auto find = [](const char* id) -> const Rule* {
    for (const Rule& r : rules())
      if (std::string(r.id) == id) return &r;
    return nullptr;
  };
  const Rule* cpu = find("controller-cpu");
  ASSERT_NE(cpu, nullptr);
  EXPECT_EQ(std::string(cpu->column), "CPU");
  EXPECT_EQ(cpu->threshold, 90);
  EXPECT_EQ(cpu->seconds, 30);
  const Rule* disk = find("controller-disk");
  ASSERT_NE(disk, nullptr);
  EXPECT_EQ(disk->threshold, 70);
  // A value of 70 % is past the threshold, 56 % near it, 55 % plain.
  EXPECT_EQ(heat(TargetKind::kController, "Disk_util", 70), 2);
  EXPECT_EQ(heat(TargetKind::kController, "Disk_util", 56), 1);
  EXPECT_EQ(heat(TargetKind::kController, "Disk_util", 55), 0);
  EXPECT_EQ(heat(TargetKind::kController, "Cache_hit", 49), 2);
  EXPECT_EQ(heat(TargetKind::kController, "Cache_hit", 80), 0);
  EXPECT_EQ(heat(TargetKind::kController, "Net_in", 1e9), 0);  // no rule, no colour
  EXPECT_EQ(heat(TargetKind::kHost, "CPU", 95), 2);
  for (const char* id : {"controller-cp-type", "controller-cp-time", "controller-cache", "host-cpu",
                         "unreachable", "killed", "failed", "excluded"})
    EXPECT_NE(find(id), nullptr) << id;
}

TEST(VerdictOrder, BusiestFirstThenFindingsThenName) {
  std::vector<TargetRow> rows(5);
  rows[0].target = "quiet";
  rows[0].score = 0.1;
  rows[1].target = "none";
  rows[1].score = -1;
  rows[2].target = "burst";
  rows[2].score = 1.3;
  rows[3].target = "b-tie";
  rows[3].score = 0.5;
  rows[4].target = "a-tie";
  rows[4].score = 0.5;
  rows[3].findings = 2;
  order_rows(rows);
  std::vector<std::string> names;
  for (const TargetRow& r : rows) names.push_back(r.target);
  EXPECT_EQ(names, (std::vector<std::string>{"burst", "b-tie", "a-tie", "quiet", "none"}));
}

// c1 has a disk burst, c2 is calm, c3's remote shell failed; the host h1 is busy.
std::string crafted_report() {
  std::string r = R"(*------------- Kestrel v7.38 -------------*
CONFIG_ONLY,         default,    "FALSE"
FILER_TARGETS,       set,        "c1,c2,c3"

SOURCE_HOST_NAME,    h1
SOURCE_HOST_OS,      Linux
COMMAND_LINE,       -t 1 -f c1 -f c2 -f c3

SAMPLES,            30
SAMPLE_INTERVAL,    1

FILEROS,	c1,	MERIX7.3.5
FILEROS,	c2,	MERIX7.3.5
=-=-=-=-=-= BEGIN Iteration 1 =-=-=-=-=-= Mon Dec 07 18:20:01 GMT 2026
KESTREL_EPOCH: 1796667601
=-=-=-=-=-= BEGIN PRESTATS =-=-=-=-=-= c1
=-=-=-=-=-= CONFIG c1 PRESTATS =-=-=-=-=-= vol status -v
Killing process tree at PID: 4242...

EXE-TIME of: vol status -v : 2 seconds
KESTREL_EPOCH: 1796667603

=-=-=-=-=-= END PRESTATS =-=-=-=-=-= c1
)";
  auto sysstat = [](const std::string& target, int cpu, int quiet_disk, int burst_disk) {
    std::string s = "=-=-=-=-=-= BEGIN POSTSTATS =-=-=-=-=-= " + target + "\n" +
                    "=-=-=-=-=-= PERF " + target + " POSTSTATS =-=-=-=-=-= sysstat.out\n" +
                    "Begin: Mon Dec 07 18:20:05 GMT 2026\n" +
                    "       CPU       NFS      CIFS Cache_hit   CP_time Disk_util\n";
    for (int row = 1; row <= 30; ++row) {
      int disk = row >= 10 && row <= 29 ? burst_disk : quiet_disk;
      char line[128];
      std::snprintf(line, sizeof line, " %9s %9d %9d %9s %9s %9s\n",
                    (std::to_string(cpu) + "%").c_str(), 400, 300, "90%", "20%",
                    (std::to_string(disk) + "%").c_str());
      s += line;
    }
    s += "Begin: Mon Dec 07 18:20:36 GMT 2026\n\nEXE-TIME of: cat sysstat.out : 0 seconds\n"
         "KESTREL_EPOCH: 1796667640\n\n=-=-=-=-=-= END POSTSTATS =-=-=-=-=-= " +
         target + "\n";
    return s;
  };
  r += sysstat("c1", 20, 10, 85);
  r += sysstat("c2", 50, 30, 30);
  r += "=-=-=-=-=-= BEGIN POSTSTATS =-=-=-=-=-= h1\n"
       "=-=-=-=-=-= PERF h1 POSTSTATS =-=-=-=-=-= system_perfmon.out\n"
       "   %cpu \t== /proc/stat cpu: all but idle+iowait\n"
       "FR kb/s \t== /proc/diskstats: sectors read\n"
       "\t   %cpu\tFR kb/s\n";
  for (int row = 0; row < 10; ++row)
    r += std::to_string(row) + " s\t     95\t     " + std::to_string(row * 10) + "\n";
  r += "\nEXE-TIME of: cat system_perfmon.out : 0 seconds\nKESTREL_EPOCH: 1796667641\n\n"
       "=-=-=-=-=-= END POSTSTATS =-=-=-=-=-= h1\n"
       "=-=-=-=-=-= END Iteration 1 =-=-=-=-=-= Mon Dec 07 18:20:42 GMT 2026\n"
       "KESTREL_EPOCH: 1796667642\n"
       "=-=-=-=-=-= CONFIG h1 POSTSTATS =-=-=-=-=-= ERROR LOG\n"
       "Mon Dec 07 18:20:42 GMT 2026 : tmp env var set to \"/tmp\"\n"
       "Mon Dec 07 18:20:42 GMT 2026 : RSH to filer c3 fails! Quitting.\n"
       "=-=-= Kestrel Execution Statistics -=-=-=-=\n"
       "  Total Running Time: 41 seconds\n";
  return r;
}

std::size_t label_index(const std::string& label) {
  std::vector<std::string> labels = shown_labels();
  for (std::size_t i = 0; i < labels.size(); ++i)
    if (labels[i] == label) return i;
  return labels.size();
}

TEST(VerdictReport, RowsBusiestFirstAndFindingsWithWindowsAndLines) {
  Report r = parse_report(crafted_report());
  ASSERT_TRUE(r.problems.empty()) << r.problems.front().message;
  Verdict v = make_verdict(r);
  std::vector<std::string> names;
  for (const TargetRow& row : v.rows) names.push_back(row.target);
  EXPECT_EQ(names, (std::vector<std::string>{"c1", "h1", "c2", "c3"}));
  ASSERT_EQ(v.rows.size(), 4u);
  const TargetRow& c1 = v.rows[0];
  const Stats& disk = c1.stats[label_index("Disk_util")];
  EXPECT_EQ(disk.count, 30u);
  EXPECT_EQ(disk.min, 10);
  EXPECT_EQ(disk.max, 85);
  EXPECT_EQ(disk.p95, 85);
  EXPECT_DOUBLE_EQ(disk.mean, (20 * 85 + 10 * 10) / 30.0);
  EXPECT_EQ(c1.stats[label_index("Ops")].mean, 700);  // NFS + CIFS row by row
  EXPECT_EQ(v.rows[1].kind, TargetKind::kHost);
  EXPECT_EQ(v.rows[1].stats[label_index("CPU")].max, 95);
  EXPECT_EQ(v.rows[3].stats[label_index("CPU")].count, 0u);  // c3: a row without data

  std::vector<const Finding*> of_c1, of_c2, of_c3, of_h1;
  for (const Finding& f : v.findings) {
    (f.target == "c1"   ? of_c1
     : f.target == "c2" ? of_c2
     : f.target == "c3" ? of_c3
                        : of_h1)
        .push_back(&f);
  }
  EXPECT_TRUE(of_c2.empty());
  ASSERT_EQ(of_c3.size(), 1u);
  EXPECT_EQ(of_c3[0]->rule, "unreachable");
  EXPECT_EQ(of_c3[0]->severity, Severity::kCritical);
  EXPECT_EQ(&v.findings.front(), of_c3[0]);  // the most severe first
  ASSERT_EQ(of_h1.size(), 1u);
  EXPECT_EQ(of_h1[0]->rule, "host-cpu");
  // c1: the disk burst (rows 10 to 29 of sysstat.out, one a second from
  // 18:20:05) and the killed command.
  const Finding* burst = nullptr;
  const Finding* killed = nullptr;
  for (const Finding* f : of_c1) (f->rule == "controller-disk" ? burst : killed) = f;
  ASSERT_EQ(of_c1.size(), 2u);
  ASSERT_NE(burst, nullptr);
  ASSERT_NE(killed, nullptr);
  EXPECT_TRUE(burst->timed);
  EXPECT_EQ(burst->from, 1796667605 + 9);
  EXPECT_EQ(burst->to, 1796667605 + 29);
  EXPECT_EQ(zoom_link(*burst), "#zoom=1796667614-1796667634");
  EXPECT_EQ(burst->where, "sysstat.out");
  ASSERT_GT(burst->first_line, 0u);
  EXPECT_EQ(burst->last_line - burst->first_line, 19u);
  // The lines named are the burst's first and last rows.
  std::vector<std::string_view> first = split_words(r.line(burst->first_line - 1));
  std::vector<std::string_view> before = split_words(r.line(burst->first_line - 2));
  std::vector<std::string_view> last = split_words(r.line(burst->last_line - 1));
  std::vector<std::string_view> after = split_words(r.line(burst->last_line));
  EXPECT_EQ(first.back(), "85%");
  EXPECT_EQ(before.back(), "10%");
  EXPECT_EQ(last.back(), "85%");
  EXPECT_EQ(after.back(), "10%");
  EXPECT_NE(burst->text.find("highest 85 %, 20 s"), std::string::npos) << burst->text;
  EXPECT_EQ(killed->rule, "killed");
  EXPECT_EQ(killed->where, "vol status -v");
  EXPECT_EQ(r.line(killed->first_line - 1),
            "=-=-=-=-=-= CONFIG c1 PRESTATS =-=-=-=-=-= vol status -v");
  EXPECT_EQ(c1.findings, 2u);
}

TEST(VerdictReport, LinesOfEveryRowOfColumnsAndCounterFiles) {
  std::string text = crafted_report();
  // A counter file: a sample ends where a key comes again.
  std::string counters =
      "=-=-=-=-=-= BEGIN POSTSTATS =-=-=-=-=-= c2\n"
      "=-=-=-=-=-= PERF c2 POSTSTATS =-=-=-=-=-= protocol_stats.out\n"
      "Begin: Mon Dec 07 18:20:05 GMT 2026\n"
      "system:system:time:1796667606\n"
      "nfsv3:nfs:nfsv3_avg_op_latency:25ms\n"
      "system:system:time:1796667607\n"
      "nfsv3:nfs:nfsv3_avg_op_latency:26ms\n"
      "\nEXE-TIME of: cat protocol_stats.out : 0 seconds\nKESTREL_EPOCH: 1796667640\n\n"
      "=-=-=-=-=-= END POSTSTATS =-=-=-=-=-= c2\n";
  text.insert(text.find("=-=-=-=-=-= BEGIN POSTSTATS =-=-=-=-=-= h1"), counters);
  Report r = parse_report(text);
  std::size_t seen = 0;
  for (const Section& s : r.sections) {
    if (s.command == "sysstat.out" && s.target == "c1") {
      std::vector<std::size_t> lines = row_lines(r, s);
      ASSERT_EQ(lines.size(), 30u);
      for (std::size_t i = 0; i < lines.size(); ++i)
        EXPECT_EQ(split_words(r.line(lines[i] - 1)).back(), i >= 9 && i <= 28 ? "85%" : "10%");
      ++seen;
    } else if (s.command == "protocol_stats.out") {
      std::vector<std::size_t> lines = row_lines(r, s);
      ASSERT_EQ(lines.size(), 2u);
      EXPECT_EQ(r.line(lines[0] - 1), "system:system:time:1796667606");
      EXPECT_EQ(r.line(lines[1] - 1), "system:system:time:1796667607");
      ++seen;
    } else if (s.command == "system_perfmon.out") {
      std::vector<std::size_t> lines = row_lines(r, s);
      ASSERT_EQ(lines.size(), 10u);
      EXPECT_TRUE(starts_with(r.line(lines[0] - 1), "0 s\t"));
      EXPECT_TRUE(starts_with(r.line(lines[9] - 1), "9 s\t"));
      ++seen;
    }
  }
  EXPECT_EQ(seen, 3u);
  // The latency column comes from the counter file, placed on its stamps.
  Verdict v = make_verdict(r);
  for (const TargetRow& row : v.rows) {
    if (row.target != "c2") continue;
    const Stats& latency = row.stats[label_index("Latency")];
    EXPECT_EQ(latency.count, 2u);
    EXPECT_EQ(latency.max, 26);
  }
}

TEST(VerdictReport, PageBlockAndTextCarryTheSameFindings) {
  Report r = parse_report(crafted_report());
  Verdict v = make_verdict(r);
  std::string html = verdict_html(v);
  EXPECT_NE(html.find("<section id=\"verdict\""), std::string::npos);
  // The first row of the table is the burst controller.
  std::size_t body = html.find("<tbody>");
  ASSERT_NE(body, std::string::npos);
  EXPECT_EQ(html.find("<tr data-target=", body), html.find("<tr data-target=\"c1\"><td>c1<"))
      << html.substr(body, 60);
  EXPECT_NE(html.find("href=\"#zoom=1796667614-1796667634\""), std::string::npos);
  EXPECT_NE(html.find("<span class=\"heat2\" data-stat=\"max\">85</span>"), std::string::npos);
  EXPECT_NE(html.find("class=\"open-section\">sysstat.out, lines "), std::string::npos);
  EXPECT_NE(html.find("data-count=\"" + std::to_string(v.findings.size()) + "\""),
            std::string::npos);

  std::ostringstream text;
  write_findings_text(v, text);
  std::string out = text.str();
  std::size_t c1 = out.find("  c1 (controller, 30 rows): ");
  std::size_t h1 = out.find("  h1 (host, 10 rows): ");
  std::size_t c2 = out.find("  c2 (controller, 30 rows): ");
  ASSERT_NE(c1, std::string::npos) << out;
  EXPECT_LT(c1, h1);
  EXPECT_LT(h1, c2);
  EXPECT_NE(out.find("  c3 (controller, 0 rows): no samples\n"), std::string::npos) << out;
  EXPECT_NE(out.find("Findings: " + std::to_string(v.findings.size()) + "\n"), std::string::npos);
  EXPECT_NE(out.find("warning\tc1\t2026-12-07T18:20:14Z to 2026-12-07T18:20:34Z\t"
                     "zoom=1796667614-1796667634\tsysstat.out lines "),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("critical\tc3\t-\t-\t-\tcontroller unreachable"), std::string::npos) << out;
}

std::string replaced_all(std::string text, const std::string& from, const std::string& to) {
  for (std::size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size())
    text.replace(at, from.size(), to);
  return text;
}

std::vector<std::string> unreachable_targets(const std::string& text) {
  std::vector<std::string> names;
  for (const Finding& f : make_verdict(parse_report(text)).findings)
    if (f.rule == "unreachable") names.push_back(f.target);
  return names;
}

// Only a controller whose shell failed is unreachable: not one the run never
// tried after quitting, nor every controller of a run whose release was
// forced (it prints no release lines), nor a name a reply merely mentions.
TEST(VerdictReport, OnlyAControllerWhoseShellFailedIsUnreachable) {
  const std::string text = crafted_report();
  EXPECT_EQ(unreachable_targets(text), std::vector<std::string>{"c3"});
  EXPECT_EQ(unreachable_targets(replaced_all(text, "RSH to filer c3", "SSH to filer c3")),
            std::vector<std::string>{"c3"});
  const std::string never_tried = replaced_all(text, "RSH to filer c3 fails! Quitting.", "quit");
  EXPECT_TRUE(unreachable_targets(never_tried).empty());
  const std::string forced = replaced_all(replaced_all(text, "FILEROS,\tc1,\tMERIX7.3.5\n", ""),
                                          "FILEROS,\tc2,\tMERIX7.3.5\n", "");
  EXPECT_EQ(unreachable_targets(forced), std::vector<std::string>{"c3"});
  const std::string in_a_reply = replaced_all(never_tried, "Killing process tree at PID: 4242...",
                                              "RSH to filer c2 fails! Quitting.");
  EXPECT_TRUE(unreachable_targets(in_a_reply).empty());
}

// sysstat's letter column reaches the back-to-back rule: two B rows make one
// finding over their window.
TEST(VerdictReport, BackToBackLettersOfSysstatAreAFinding) {
  std::string r =
      "*------------- Kestrel v7.38 -------------*\n"
      "FILER_TARGETS,       set,        \"c1\"\n"
      "SOURCE_HOST_NAME,    h1\nSAMPLES,            4\nSAMPLE_INTERVAL,    1\n"
      "=-=-=-=-=-= BEGIN Iteration 1 =-=-=-=-=-= Mon Dec 07 18:20:01 GMT 2026\n"
      "KESTREL_EPOCH: 1796667601\n"
      "=-=-=-=-=-= BEGIN POSTSTATS =-=-=-=-=-= c1\n"
      "=-=-=-=-=-= PERF c1 POSTSTATS =-=-=-=-=-= sysstat.out\n"
      "Begin: Mon Dec 07 18:20:05 GMT 2026\n"
      "   CPU  CP_time  CP_type  Disk_util\n"
      "   11%      20%        T        30%\n"
      "   12%      97%        B        31%\n"
      "   13%      98%        B        32%\n"
      "   14%      20%        -        33%\n"
      "\nEXE-TIME of: cat sysstat.out : 0 seconds\nKESTREL_EPOCH: 1796667640\n\n"
      "=-=-=-=-=-= END POSTSTATS =-=-=-=-=-= c1\n"
      "=-=-=-=-=-= END Iteration 1 =-=-=-=-=-= Mon Dec 07 18:20:42 GMT 2026\n";
  Verdict v = make_verdict(parse_report(r));
  std::vector<const Finding*> back_to_back;
  for (const Finding& f : v.findings)
    if (f.rule == "controller-cp-type") back_to_back.push_back(&f);
  ASSERT_EQ(back_to_back.size(), 1u);
  EXPECT_EQ(back_to_back[0]->target, "c1");
  // Rows 2 and 3: each stands for the second that ends at 18:20:05 + its number.
  EXPECT_EQ(back_to_back[0]->from, 1796667606.0);
  EXPECT_EQ(back_to_back[0]->to, 1796667608.0);
  EXPECT_EQ(back_to_back[0]->first_line, 13u);
  EXPECT_EQ(back_to_back[0]->last_line, 14u);
}

TEST(VerdictReport, HostileNamesAreEscapedOnThePage) {
  std::string text = crafted_report();
  std::string evil = "<img src=x onerror=alert(1)>";
  for (std::size_t at; (at = text.find("vol status -v")) != std::string::npos;)
    text.replace(at, 13, evil);
  Verdict v = make_verdict(parse_report(text));
  std::string html = verdict_html(v);
  EXPECT_EQ(html.find("<img"), std::string::npos);
  EXPECT_NE(html.find("&lt;img src=x onerror=alert(1)&gt;"), std::string::npos);
}

}  // namespace
}  // namespace report
