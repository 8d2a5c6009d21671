// The round trip a simulated controller takes before it answers: a fixed time
// or a random one within a range. Header only and free of the rest of the
// simulator, so that the unit tests can use it without linking ctlsim.
#pragma once

#include <cmath>
#include <cstdint>
#include <optional>
#include <random>
#include <string>

namespace ctlsim {

struct Latency {
  std::int64_t min_ms = 0;
  std::int64_t max_ms = 0;  // equal to min_ms for a fixed time
};

// The longest latency accepted: one day.
constexpr std::int64_t kMaxLatencyMs = 86400000;

namespace latency_detail {

inline bool is_blank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

inline std::string trim_blanks(const std::string& text) {
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && is_blank(text[begin])) ++begin;
  while (end > begin && is_blank(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}

// One bound: DIGITS[.DIGITS] followed by nothing, "ms" or "s". Digits only,
// so no sign, exponent or hexadecimal slips through as it would with strtod.
inline bool parse_bound(const std::string& text, double& number, std::string& unit) {
  size_t at = 0;
  double value = 0;
  bool digits = false;
  while (at < text.size() && text[at] >= '0' && text[at] <= '9') {
    value = value * 10 + (text[at] - '0');
    digits = true;
    ++at;
  }
  if (!digits) return false;
  if (at < text.size() && text[at] == '.') {
    ++at;
    double place = 0.1;
    bool fraction = false;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9') {
      value += (text[at] - '0') * place;
      place /= 10;
      fraction = true;
      ++at;
    }
    if (!fraction) return false;
  }
  unit = text.substr(at);
  if (!unit.empty() && unit != "ms" && unit != "s") return false;
  number = value;
  return true;
}

inline double unit_factor(const std::string& unit) {
  return unit == "s" ? 1000.0 : 1.0;
}

}  // namespace latency_detail

// Parses a latency: "200ms", "0.2s" or "200" (milliseconds) for a fixed time;
// "100ms-300ms", "100-300" or "0.1-0.3s" for a range (a bound without a unit
// takes the other bound's; with no unit at all, milliseconds). An empty text
// and "0" are no latency. Returns an empty string, or what is wrong (then
// `latency` is left as it was).
inline std::string parse_latency(const std::string& text, Latency& latency) {
  using latency_detail::parse_bound;
  using latency_detail::trim_blanks;
  using latency_detail::unit_factor;
  std::string value = trim_blanks(text);
  if (value.empty()) {
    latency = Latency();
    return "";
  }
  if (value[0] == '-') return "a latency cannot be negative";
  size_t dash = value.find('-');
  std::string low_text = trim_blanks(value.substr(0, dash));
  std::string high_text =
      dash == std::string::npos ? low_text : trim_blanks(value.substr(dash + 1));
  double low = 0;
  double high = 0;
  std::string low_unit;
  std::string high_unit;
  if (!parse_bound(low_text, low, low_unit) || !parse_bound(high_text, high, high_unit)) {
    return "not a time such as 200ms, 0.2s or 100ms-300ms";
  }
  if (low_unit.empty()) low_unit = high_unit;
  if (high_unit.empty()) high_unit = low_unit;
  low *= unit_factor(low_unit);
  high *= unit_factor(high_unit);
  if (!(high <= kMaxLatencyMs)) return "longer than a day";
  if (low > high) return "the range ends below its start";
  latency.min_ms = std::llround(low);
  latency.max_ms = std::llround(high);
  return "";
}

// The value of CTLSIM_LATENCY (nullopt: not set). Set, even to "0", it
// overrides every model's latency; unset or empty it overrides nothing.
// False when the value is no latency.
inline bool latency_override_from(const std::optional<std::string>& value,
                                  std::optional<Latency>& latency) {
  latency.reset();
  if (!value || value->empty()) return true;
  Latency parsed;
  if (!parse_latency(*value, parsed).empty()) return false;
  latency = parsed;
  return true;
}

// The latency an invocation spends: the override when there is one, else the
// model's.
inline Latency effective_latency(const Latency& model_latency,
                                 const std::optional<Latency>& override_latency) {
  return override_latency ? *override_latency : model_latency;
}

// The delay of one invocation: the fixed time, or a time drawn uniformly from
// the range with `seed`.
inline std::int64_t pick_latency_ms(const Latency& latency, std::uint64_t seed) {
  if (latency.max_ms <= latency.min_ms) return latency.min_ms;
  std::mt19937_64 engine(seed);
  std::uniform_int_distribution<std::int64_t> spread(latency.min_ms, latency.max_ms);
  return spread(engine);
}

}  // namespace ctlsim
