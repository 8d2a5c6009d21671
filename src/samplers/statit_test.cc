#include "samplers/statit.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "samplers/samplers_test_support.h"

namespace samplers {
namespace {

using samplers_test::options_from;
using Lines = std::vector<std::string>;

JobSettings settings(const std::vector<std::string>& args) {
  return settings_of(options_from(args));
}

// The file as the steps build it, one entry per step.
Lines layout(const JobSettings& s, int statit_mode = 0) {
  Lines lines;
  for (const StatitStep& step : statit_steps(s, statit_mode)) {
    switch (step.kind) {
      case StatitStep::Kind::kLine:
        lines.push_back(step.text);
        break;
      case StatitStep::Kind::kBeginStamp:
        lines.push_back("Begin:");
        break;
      case StatitStep::Kind::kEndStamp:
        lines.push_back("End:");
        break;
      case StatitStep::Kind::kStatitBegin:
        lines.push_back("statit -b");
        break;
      case StatitStep::Kind::kStatitEnd:
        lines.push_back("statit -e");
        break;
      case StatitStep::Kind::kSleep:
        lines.push_back("sleep " + std::to_string(step.seconds));
        break;
      case StatitStep::Kind::kStopPastBound:
        lines.push_back("stop past bound");
        break;
    }
  }
  return lines;
}

Lines long_report(const std::string& heading, int seconds) {
  return {heading, "Begin:", "statit -b", "sleep " + std::to_string(seconds), "statit -e", "End:"};
}

Lines stutter_reports(int from, int to, int interval) {
  Lines lines;
  for (int i = from; i <= to; ++i) {
    Lines one = {"---- statit --- " + std::to_string(i) + " ----",
                 "Begin:",
                 "statit -b",
                 "sleep " + std::to_string(interval),
                 "statit -e",
                 "End:",
                 "stop past bound"};
    lines.insert(lines.end(), one.begin(), one.end());
  }
  return lines;
}

Lines operator+(Lines a, const Lines& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

struct Expected {
  std::vector<std::string> args;
  int statit_mode;
  int half, full, reports, long_seconds;
};

TEST(StatitValues, FollowTheSamplingSettings) {
  const Expected cases[] = {
      {{"-t", "2"}, 0, 55, 110, 3, 55},
      {{"-t", "2", "-K"}, 0, 55, 110, 9, 55},
      {{"-t", "2", "-k"}, 0, 55, 110, 3, 110},
      {{"-t", "2"}, 1, 55, 110, 3, 110},
      {{"-f", "c1"}, 0, 60, 120, 4, 60},  // no -t: I = 10, C = 12
      // With I = 1 half of each interval is 0 seconds, not half of I x C.
      {{"-t", "1"}, 0, 0, 58, 27, 0},
      {{"-t", "5"}, 0, 145, 290, 12, 145},
      // -H 5 with -t 2: C = (110 - 10) / 5 = 20; stutter over all of C.
      {{"-t", "2", "-H", "5"}, 0, 40, 100, 18, 40},
      {{"-t", "2", "-H", "5", "-k"}, 0, 40, 100, -1, 100},
  };
  for (const Expected& e : cases) {
    std::string name = ::testing::PrintToString(e.args) + " mode " + std::to_string(e.statit_mode);
    StatitValues v = statit_values(settings(e.args), e.statit_mode);
    EXPECT_EQ(v.half, e.half) << name;
    EXPECT_EQ(v.full, e.full) << name;
    EXPECT_EQ(v.reports, e.reports) << name;
    EXPECT_EQ(v.long_seconds, e.long_seconds) << name;
  }
}

TEST(StatitLayout, HalfReportThenStutterSeries) {
  EXPECT_EQ(layout(settings({"-t", "2"})),
            long_report("---- statit first 1/2 --- 55 seconds ----", 55) + Lines{"..."} +
                stutter_reports(1, 3, 10));
  // -t 1: the first half is 0 seconds long and 27 one-second reports follow.
  EXPECT_EQ(layout(settings({"-t", "1"})),
            long_report("---- statit first 1/2 --- 0 seconds ----", 0) + Lines{"..."} +
                stutter_reports(1, 27, 1));
  EXPECT_EQ(layout(settings({"-t", "5"})),
            long_report("---- statit first 1/2 --- 145 seconds ----", 145) + Lines{"..."} +
                stutter_reports(1, 12, 10));
}

TEST(StatitLayout, OneWholeReportWithoutStutter) {
  const Lines whole = long_report("---- statit  --- 110 seconds ----", 110);
  EXPECT_EQ(layout(settings({"-t", "2", "-k"})), whole);
  EXPECT_EQ(layout(settings({"-t", "2"}), 1), whole);
  EXPECT_EQ(layout(settings({"-t", "2", "-H", "5", "-k"})),
            long_report("---- statit  --- 100 seconds ----", 100));
}

TEST(StatitLayout, OnlyStutterWithFullStutterOrExplicitInterval) {
  EXPECT_EQ(layout(settings({"-t", "2", "-K"})), stutter_reports(1, 9, 10));
  // An explicit interval drops the long report but keeps the "..." line.
  EXPECT_EQ(layout(settings({"-t", "2", "-H", "5"})), Lines{"..."} + stutter_reports(1, 18, 5));
}

TEST(StatitLayout, NoSeriesWhenTooFewSamples) {
  // -t 2 -H 60: C = 1, so N = -1 and there is no report at all.
  JobSettings s = settings({"-t", "2", "-H", "60"});
  ASSERT_EQ(s.sample_count, 1);
  EXPECT_EQ(layout(s), Lines{});
}

}  // namespace
}  // namespace samplers
