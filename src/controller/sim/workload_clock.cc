#include "controller/sim/workload_clock.h"

#include <chrono>
#include <cmath>

#include "controller/sim/store.h"
#include "controller/sim/text.h"

namespace ctlsim {

namespace {

const char kOriginKey[] = "clock.origin";

// The origin read once per process: one process answers one controller.
struct Origin {
  std::string name;
  double wall = 0;
};

Origin& cached_origin() {
  static Origin origin;
  return origin;
}

double read_origin(const ControllerState& state) {
  double value = 0;
  return parse_number(state_get(state, kOriginKey), value) ? value : -1;
}

}  // namespace

double wall_seconds() {
  auto since = std::chrono::system_clock::now().time_since_epoch();
  return std::chrono::duration<double>(since).count();
}

void note_first_contact(const std::string& name) {
  Origin& origin = cached_origin();
  if (origin.name == name) return;
  double wall = read_origin(read_state(name));
  if (wall < 0) {
    // Whole milliseconds, down: the clock never reads below 0 just after.
    std::string now = format("%.3f", std::floor(wall_seconds() * 1000) / 1000);
    update_state(name, [&](ControllerState& state) {
      wall = read_origin(state);
      if (wall >= 0) return;
      state_set(state, kOriginKey, now);
      parse_number(now, wall);
    });
  }
  origin.name = name;
  origin.wall = wall;
}

double controller_clock(const std::string& name, double wall) {
  note_first_contact(name);
  return wall - cached_origin().wall;
}

Load recent_load(const Model& model, double real_seconds) {
  double now = wall_seconds();
  return load_between(model, now - real_seconds, now);
}

Load load_between(const Model& model, double from_wall, double to_wall) {
  // Nothing is known of the time before the first contact; a begin time kept
  // in whole seconds may fall just before it.
  double to = std::fmax(controller_clock(model.name, to_wall), 0.0);
  double from = std::fmin(std::fmax(controller_clock(model.name, from_wall), 0.0), to);
  return load_over(model.workload, model.name, from, to);
}

}  // namespace ctlsim
