#include "controller/sim/latency.h"

#include <gtest/gtest.h>

#include <optional>
#include <set>
#include <string>

namespace {

using ctlsim::effective_latency;
using ctlsim::Latency;
using ctlsim::latency_override_from;
using ctlsim::parse_latency;
using ctlsim::pick_latency_ms;

// The parsed range as "MIN-MAX", or "refused" when the text is no latency.
std::string parsed(const std::string& text) {
  Latency latency;
  if (!parse_latency(text, latency).empty()) return "refused";
  return std::to_string(latency.min_ms) + "-" + std::to_string(latency.max_ms);
}

TEST(LatencyParse, FixedTimesInMillisecondsOrSeconds) {
  EXPECT_EQ(parsed("200ms"), "200-200");
  EXPECT_EQ(parsed("0.2s"), "200-200");
  EXPECT_EQ(parsed("200"), "200-200");
  EXPECT_EQ(parsed("1.5s"), "1500-1500");
  EXPECT_EQ(parsed("3s"), "3000-3000");
  EXPECT_EQ(parsed("0.0005s"), "1-1");  // rounded to the millisecond
  EXPECT_EQ(parsed(" 250ms\t"), "250-250");
}

TEST(LatencyParse, ZeroAndEmptyMeanNoLatency) {
  EXPECT_EQ(parsed(""), "0-0");
  EXPECT_EQ(parsed("   "), "0-0");
  EXPECT_EQ(parsed("0"), "0-0");
  EXPECT_EQ(parsed("0ms"), "0-0");
  EXPECT_EQ(parsed("0.0s"), "0-0");
}

TEST(LatencyParse, RangesTakeTheOtherBoundsUnit) {
  EXPECT_EQ(parsed("100ms-300ms"), "100-300");
  EXPECT_EQ(parsed("100-300"), "100-300");
  EXPECT_EQ(parsed("100 - 300ms"), "100-300");
  EXPECT_EQ(parsed("0.1-0.3s"), "100-300");
  EXPECT_EQ(parsed("1s-2"), "1000-2000");
  EXPECT_EQ(parsed("0.5s-1500ms"), "500-1500");
  EXPECT_EQ(parsed("200-200"), "200-200");
  EXPECT_EQ(parsed("0-50ms"), "0-50");
}

TEST(LatencyParse, NegativeAndReversedAreRefused) {
  EXPECT_EQ(parsed("-5"), "refused");
  EXPECT_EQ(parsed("-200ms"), "refused");
  EXPECT_EQ(parsed("-100-200"), "refused");
  EXPECT_EQ(parsed("100--200"), "refused");
  EXPECT_EQ(parsed("300-100"), "refused");
  EXPECT_EQ(parsed("1s-500ms"), "refused");
  EXPECT_EQ(parsed("0.3-0.1s"), "refused");
}

TEST(LatencyParse, JunkIsRefused) {
  for (const char* text : {"fast", "200us", "200 ms", "200MS", "2m",  "1e3",  "0x10",
                           "+5",   ".5s",   "5.",     "5.s",   "nan", "inf",  "5-",
                           "-",    "1-2-3", "100ms-", "ms",    "s",   "1,5s", "200ms;300ms"}) {
    EXPECT_EQ(parsed(text), "refused") << text;
  }
}

TEST(LatencyParse, AtMostOneDayAndNothingThatOverflows) {
  EXPECT_EQ(parsed("86400s"), "86400000-86400000");
  EXPECT_EQ(parsed("86400000"), "86400000-86400000");
  EXPECT_EQ(parsed("86400001"), "refused");
  EXPECT_EQ(parsed("86400.001s"), "refused");
  EXPECT_EQ(parsed("1-86401s"), "refused");
  EXPECT_EQ(parsed("99999999999999999999999999ms"), "refused");
  EXPECT_EQ(parsed("9223372036854775808"), "refused");
  EXPECT_EQ(parsed(std::string(400, '9')), "refused");  // beyond a double
  EXPECT_EQ(parsed("1-" + std::string(400, '9')), "refused");
}

TEST(LatencyParse, ARefusedTextLeavesTheLatencyAsItWas) {
  Latency latency;
  ASSERT_EQ(parse_latency("100-300", latency), "");
  EXPECT_NE(parse_latency("300-100", latency), "");
  EXPECT_NE(parse_latency("soon", latency), "");
  EXPECT_EQ(latency.min_ms, 100);
  EXPECT_EQ(latency.max_ms, 300);
}

TEST(LatencyOverride, SetEvenToZeroItReplacesTheModelsLatency) {
  Latency model_latency;
  ASSERT_EQ(parse_latency("86400s", model_latency), "");
  std::optional<Latency> override_latency;

  ASSERT_TRUE(latency_override_from(std::string("0"), override_latency));
  ASSERT_TRUE(override_latency.has_value());
  EXPECT_EQ(effective_latency(model_latency, override_latency).max_ms, 0);

  ASSERT_TRUE(latency_override_from(std::string("10-20"), override_latency));
  Latency used = effective_latency(model_latency, override_latency);
  EXPECT_EQ(used.min_ms, 10);
  EXPECT_EQ(used.max_ms, 20);
}

TEST(LatencyOverride, UnsetOrEmptyLeavesTheModelsLatency) {
  Latency model_latency;
  ASSERT_EQ(parse_latency("300ms", model_latency), "");
  for (const std::optional<std::string>& value :
       {std::optional<std::string>(), std::optional<std::string>("")}) {
    std::optional<Latency> override_latency = Latency();
    ASSERT_TRUE(latency_override_from(value, override_latency));
    EXPECT_FALSE(override_latency.has_value());
    EXPECT_EQ(effective_latency(model_latency, override_latency).min_ms, 300);
  }
}

TEST(LatencyOverride, ABadValueIsRefusedAndOverridesNothing) {
  for (const char* value : {"soon", "300-100", "-1", " ms"}) {
    std::optional<Latency> override_latency = Latency();
    EXPECT_FALSE(latency_override_from(std::string(value), override_latency)) << value;
    EXPECT_FALSE(override_latency.has_value()) << value;
  }
}

TEST(LatencyPick, AFixedTimeIsAlwaysThatTime) {
  Latency fixed;
  ASSERT_EQ(parse_latency("250ms", fixed), "");
  for (std::uint64_t seed : {0ull, 1ull, 42ull, ~0ull})
    EXPECT_EQ(pick_latency_ms(fixed, seed), 250);
  EXPECT_EQ(pick_latency_ms(Latency(), 7), 0);
}

TEST(LatencyPick, ARangeSpreadsOverItsWholeWidthAndNoFurther) {
  Latency narrow;
  ASSERT_EQ(parse_latency("1-3", narrow), "");
  std::set<std::int64_t> seen;
  for (std::uint64_t seed = 0; seed < 200; ++seed) seen.insert(pick_latency_ms(narrow, seed));
  EXPECT_EQ(seen, (std::set<std::int64_t>{1, 2, 3}));

  Latency wide;
  ASSERT_EQ(parse_latency("100ms-300ms", wide), "");
  std::set<std::int64_t> values;
  for (std::uint64_t seed = 1000; seed < 1100; ++seed) {
    std::int64_t ms = pick_latency_ms(wide, seed);
    EXPECT_GE(ms, 100);
    EXPECT_LE(ms, 300);
    values.insert(ms);
  }
  // Different seeds (processes started together) wait differently.
  EXPECT_GT(values.size(), 50u);
}

}  // namespace
