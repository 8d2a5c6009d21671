#include "controller/sim/output.h"

#include <cstdio>
#include <cstdlib>

#include "controller/sim/text.h"
#include "platform/platform.h"

namespace ctlsim {

void out(const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
}

void err(const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stderr);
  std::fflush(stderr);
}

void flush_all() {
  std::fflush(stdout);
  std::fflush(stderr);
}

static double env_number(const char* name, double fallback) {
  auto value = platform::get_env(name);
  double number = 0;
  if (!value || !parse_number(trim(*value), number) || number < 0) return fallback;
  return number;
}

double time_scale() {
  return env_number("CTLSIM_TIME_SCALE", 1.0);
}

void pace(double seconds) {
  flush_all();
  double scaled = seconds * time_scale();
  if (scaled <= 0) return;
  platform::sleep_ms(static_cast<int>(scaled * 1000.0 + 0.5));
}

double hang_limit_seconds() {
  return env_number("CTLSIM_HANG_LIMIT", 86400.0);
}

void hang() {
  flush_all();
  double left = hang_limit_seconds();
  while (left > 0) {
    double step = left < 1.0 ? left : 1.0;
    platform::sleep_ms(static_cast<int>(step * 1000.0 + 0.5));
    left -= step;
  }
  std::exit(1);
}

}  // namespace ctlsim
