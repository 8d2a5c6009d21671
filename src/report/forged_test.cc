// Marker lines forged by a reply: in reports written before outside text was
// escaped they must show up as damage; escaped, they are plain text that is
// shown as the controller wrote it. The outline reader behind the index must
// agree with the whole-file reader on every one of them.
#include <gtest/gtest.h>

#include <sstream>

#include "report/markers.h"
#include "report/output.h"
#include "report/report.h"
#include "report/summary.h"
#include "report/test_report.h"

namespace {

// The sample report with `lines` put into the output of "sysconfig -a".
std::string with_reply(const std::string& lines) {
  std::string text = report_test::sample_report();
  text.insert(text.find("  slot 0: system board"), lines);
  return text;
}

// The 1-based line of the first line that starts with `start`.
std::size_t line_of(const std::string& text, const std::string& start) {
  std::size_t at = text.find("\n" + start);
  std::size_t line = 2;
  for (std::size_t i = 0; i < at; ++i) line += text[i] == '\n';
  return line;
}

bool has_problem(const report::Report& r, std::size_t line, const std::string& words) {
  for (const report::Problem& p : r.problems)
    if (p.structural && p.line == line && p.message.find(words) != std::string::npos) return true;
  return false;
}

std::string listed(const report::Report& r) {
  std::string out;
  for (const report::Problem& p : r.problems)
    out += std::to_string(p.line) + ": " + p.message + "\n";
  return out;
}

report::Report outline_of(const std::string& text) {
  std::istringstream in(text);
  return report::read_report_outline(in);
}

TEST(ForgedMarkers, OldReportsWithForgedLinesAreDamaged) {
  struct Case {
    const char* name;
    std::string reply;
    std::string at;     // the line the problem names starts with this
    const char* words;  // and its message holds these
  };
  const std::string log = "=-=-=-=-=-= CONFIG h1 POSTSTATS =-=-=-=-=-= ERROR LOG\n";
  const std::string footer =
      "=-=-= Kestrel Execution Statistics -=-=-=-=\n  Total Running Time: 5 seconds\n";
  const std::vector<Case> cases = {
      {"a target the header does not name", "=-=-=-=-=-= CONFIG evil PRESTATS =-=-=-=-=-= fake\n",
       "=-=-=-=-=-= CONFIG evil", "evil is not among the header's controllers and host"},
      {"a section of another target inside the block",
       "=-=-=-=-=-= CONFIG h1 PRESTATS =-=-=-=-=-= fake\n",
       "=-=-=-=-=-= CONFIG h1 PRESTATS =-=-=-=-=-= fake", "inside the PRESTATS block of c1"},
      {"a fake error log that hides the rest", log,
       "=-=-=-=-=-= CONFIG c1 PRESTATS =-=-=-=-=-= snap", "a marker line inside the error log"},
      {"a fake error log and statistics", log + footer,
       "=-=-=-=-=-= CONFIG c1 PRESTATS =-=-=-=-=-= snap",
       "a marker line after the execution statistics"},
      {"a fake statistics footer", footer, "=-=-= Kestrel Execution",
       "the execution statistics do not follow the error log"},
      {"an iteration out of order",
       "=-=-=-=-=-= BEGIN Iteration 7 =-=-=-=-=-= Mon Dec 07 18:20:02 GMT 2026\n",
       "=-=-=-=-=-= BEGIN Iteration 7", "while iteration 1 is still open"},
      {"a block that does not pair", "=-=-=-=-=-= END PRESTATS =-=-=-=-=-= h1\n",
       "=-=-=-=-=-= END PRESTATS =-=-=-=-=-= h1", "without its BEGIN"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string text = with_reply(c.reply);
    for (const report::Report& r : {report::parse_report(text), outline_of(text)}) {
      EXPECT_TRUE(r.damaged()) << listed(r);
      EXPECT_TRUE(has_problem(r, line_of(text, c.at), c.words)) << listed(r);
      EXPECT_EQ(report::status_line(r).rfind("damaged: ", 0) == 0 || !r.complete, true)
          << report::status_line(r);
      EXPECT_NE(report::status_line(r).rfind("complete", 0), 0u) << report::status_line(r);
    }
  }
}

TEST(ForgedMarkers, AHiddenErrorLogAndWhatFollowsTheFooterAreNamed) {
  const std::string text = with_reply("=-=-=-=-=-= CONFIG c1 POSTSTATS =-=-=-=-=-= ERROR LOG\n");
  report::Report r = report::parse_report(text);
  EXPECT_TRUE(r.complete);
  EXPECT_TRUE(has_problem(r, line_of(text, "=-=-=-=-=-= CONFIG c1 POSTSTATS =-=-=-=-=-= ERROR"),
                          "lies inside the PRESTATS block of c1"))
      << listed(r);
  EXPECT_TRUE(
      has_problem(r, line_of(text, "=-=-=-=-=-= BEGIN PRESTATS =-=-=-=-=-= c1"), "has no END line"))
      << listed(r);
  EXPECT_TRUE(has_problem(r, line_of(text, "=-=-=-=-=-= BEGIN Iteration 1"), "has no END line"))
      << listed(r);
  std::ostringstream index;
  report::write_index(r, index);
  EXPECT_EQ(index.str().rfind("Report: damaged: ", 0), 0u) << index.str().substr(0, 200);

  // A second footer and a second error log after a forged pair.
  const std::string twice = with_reply(
      "=-=-=-=-=-= CONFIG c1 POSTSTATS =-=-=-=-=-= ERROR LOG\n"
      "=-=-= Kestrel Execution Statistics -=-=-=-=\n  Total Running Time: 5 seconds\n");
  report::Report t = report::parse_report(twice);
  EXPECT_TRUE(has_problem(t, line_of(twice, "=-=-=-=-=-= CONFIG h1 POSTSTATS =-=-=-=-=-= ERROR"),
                          "a second ERROR LOG section"))
      << listed(t);
  std::size_t last_footer = twice.rfind("=-=-= Kestrel Execution");
  std::size_t line = 1;
  for (std::size_t i = 0; i < last_footer; ++i) line += twice[i] == '\n';
  EXPECT_TRUE(has_problem(t, line, "a second execution statistics line")) << listed(t);
}

TEST(ForgedMarkers, EscapedLinesAreTextShownWithOneBackslashLess) {
  const std::string reply =
      "\\=-=-=-=-=-= CONFIG evil PRESTATS =-=-=-=-=-= fake\n"
      "\\=-=-=-=-=-= CONFIG c1 POSTSTATS =-=-=-=-=-= ERROR LOG\n"
      "\\\\=-=-= Kestrel Execution Statistics -=-=-=-=\n"
      "  Total Running Time: 5 seconds\n"
      "\\ no prefix after this backslash\n";
  std::string text = with_reply(reply);
  text.insert(text.find("Mon Dec 07 18:25:00 GMT 2026 : === Report"),
              "\\=-=-=-=-=-= END Iteration 2 =-=-=-=-=-= in the error log\n");
  const report::Report plain = report::parse_report(report_test::sample_report());
  for (const report::Report& r : {report::parse_report(text), outline_of(text)}) {
    EXPECT_TRUE(r.complete);
    EXPECT_FALSE(r.damaged());
    EXPECT_TRUE(r.problems.empty()) << listed(r);
    EXPECT_EQ(r.sections.size(), plain.sections.size());
    EXPECT_EQ(r.slow_commands.size(), 2u);
    EXPECT_EQ(report::status_line(r), "complete, total running time 299 s");
  }
  report::Report r = report::parse_report(text);
  const report::Section* sysconfig = nullptr;
  for (const report::Section& s : r.sections)
    if (s.command == "sysconfig -a") sysconfig = &s;
  ASSERT_NE(sysconfig, nullptr);
  const std::string shown = report::shown_text(report::section_text(r, *sysconfig));
  EXPECT_NE(shown.find("\n=-=-=-=-=-= CONFIG evil PRESTATS =-=-=-=-=-= fake\n"
                       "=-=-=-=-=-= CONFIG c1 POSTSTATS =-=-=-=-=-= ERROR LOG\n"
                       "\\=-=-= Kestrel Execution Statistics -=-=-=-=\n"
                       "  Total Running Time: 5 seconds\n"
                       "\\ no prefix after this backslash\n"),
            std::string::npos)
      << shown;

  std::ostringstream json, html;
  report::write_json(r, json);
  report::write_html(r, "r.out", html);
  for (const std::string& out : {json.str(), html.str()}) {
    EXPECT_NE(out.find("\\n=-=-=-=-=-= CONFIG evil PRESTATS"), std::string::npos);
    EXPECT_NE(out.find("\\n\\\\=-=-= Kestrel Execution Statistics"), std::string::npos);
    EXPECT_NE(out.find("\\n\\\\ no prefix after this backslash"), std::string::npos);
    EXPECT_NE(out.find("\\n=-=-=-=-=-= END Iteration 2 =-=-=-=-=-= in the error log"),
              std::string::npos);
    EXPECT_EQ(out.find("\\\\=-=-=-=-=-= CONFIG evil"), std::string::npos);
  }
}

TEST(ForgedMarkers, EscapeRule) {
  EXPECT_TRUE(report::is_escaped_text("\\=-=-="));
  EXPECT_TRUE(report::is_escaped_text("\\\\\\=-=-=-=-=-= x"));
  EXPECT_FALSE(report::is_escaped_text("=-=-=-=-=-= x"));
  EXPECT_FALSE(report::is_escaped_text("\\=-=-"));
  EXPECT_FALSE(report::is_escaped_text(" \\=-=-="));
  EXPECT_FALSE(report::parse_marker("\\=-=-=-=-=-= CONFIG c1 PRESTATS =-=-=-=-=-= x"));
  EXPECT_FALSE(report::is_statistics_line("\\=-=-= Kestrel Execution Statistics -=-=-=-="));
  EXPECT_EQ(report::shown_text("a\n\\=-=-=\n\\\\=-=-=x\r\n\\x\n\\=-=-="),
            "a\n=-=-=\n\\=-=-=x\r\n\\x\n=-=-=");
  EXPECT_EQ(report::shown_text(""), "");
}

// Everything but the text: the outline reader finds what the whole-file
// reader finds, for whole, cut, CRLF and damaged reports.
TEST(OutlineReader, AgreesWithTheWholeFileReader) {
  std::string whole = report_test::sample_report();
  std::string crlf;
  for (char c : whole) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  std::vector<std::string> inputs = {
      whole,
      crlf,
      "\xEF\xBB\xBF" + whole,
      whole.substr(0, whole.size() / 2),
      whole.substr(0, whole.size() - 1),
      whole + "\r",
      whole.substr(0, 40),
      with_reply("=-=-=-=-=-= CONFIG c1 POSTSTATS =-=-=-=-=-= ERROR LOG\n"),
      with_reply("bad \xff\xfe bytes\n"),
      "hello\n",
      ""};
  for (const std::string& input : inputs) {
    SCOPED_TRACE(input.substr(0, 60));
    report::Report a = report::parse_report(input);
    report::Report b = outline_of(input);
    EXPECT_EQ(a.looks_like_report, b.looks_like_report);
    EXPECT_EQ(a.line_count, b.line_count);
    EXPECT_EQ(a.bytes, b.bytes);
    EXPECT_EQ(report::status_line(a), report::status_line(b));
    EXPECT_EQ(listed(a), listed(b));
    ASSERT_EQ(a.sections.size(), b.sections.size());
    for (std::size_t i = 0; i < a.sections.size(); ++i) {
      const report::Section &x = a.sections[i], &y = b.sections[i];
      EXPECT_EQ(x.command, y.command);
      EXPECT_EQ(x.kind, y.kind);
      EXPECT_EQ(x.line, y.line);
      EXPECT_EQ(x.body_begin, y.body_begin);
      EXPECT_EQ(x.body_end, y.body_end);
      EXPECT_EQ(x.seconds, y.seconds);
      EXPECT_EQ(report::section_flags(x), report::section_flags(y));
    }
    EXPECT_TRUE(b.data.empty());
  }
  // A line far longer than the outline keeps does not change the structure.
  std::string long_line = "a";
  for (int i = 0; i < (1 << 20); ++i) long_line += "\xC3\xA9";
  long_line = with_reply(long_line + "\n");
  report::Report c = outline_of(long_line);
  EXPECT_TRUE(c.complete);
  EXPECT_TRUE(c.problems.empty()) << listed(c);
  EXPECT_EQ(c.sections.size(), report::parse_report(report_test::sample_report()).sections.size());
}

}  // namespace

namespace {

// The streamed index reads the file twice and keeps no sections, yet writes
// what the index of the whole file says.
TEST(OutlineReader, StreamedIndexEqualsTheWholeIndex) {
  std::string whole = report_test::sample_report();
  std::vector<std::string> inputs = {
      whole, whole.substr(0, whole.size() / 3),
      with_reply("=-=-=-=-=-= CONFIG c1 POSTSTATS =-=-=-=-=-= ERROR LOG\n"
                 "=-=-= Kestrel Execution Statistics -=-=-=-=\n  Total Running Time: 5 seconds\n"),
      with_reply("\\=-=-=-=-=-= CONFIG evil PRESTATS =-=-=-=-=-= fake\n")};
  for (const std::string& input : inputs) {
    std::ostringstream expected, streamed;
    report::Report r = report::parse_report(input);
    report::write_index(r, expected);
    std::istringstream in(input);
    std::optional<report::Report> read = report::write_index_streaming(in, streamed);
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(expected.str(), streamed.str());
    EXPECT_TRUE(read->sections.empty());
    EXPECT_EQ(read->section_count, r.sections.size());
  }
  std::size_t handed = 0;
  std::istringstream in(whole);
  report::Report r = report::read_report_outline(
      in, [&](const report::Section&, std::size_t i) { EXPECT_EQ(i, handed++); });
  EXPECT_EQ(handed, r.section_count);
  EXPECT_EQ(handed, report::parse_report(whole).sections.size());
  EXPECT_TRUE(r.sections.empty());
  EXPECT_EQ(r.iteration_count, 2u);
  EXPECT_EQ(r.iterations.size(), 1u);
}

}  // namespace
