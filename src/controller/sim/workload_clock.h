// The controller's own clock, which its workload follows: wall-clock seconds
// since its first contact, kept in its state so that every client process
// reads the same clock.
#pragma once

#include <string>

#include "controller/sim/model.h"
#include "controller/sim/workload.h"

namespace ctlsim {

// Seconds since the epoch, with a fraction.
double wall_seconds();

// Records the controller's first contact (now) unless its state has one.
void note_first_contact(const std::string& name);

// Seconds of the controller's clock at wall-clock time `wall`.
double controller_clock(const std::string& name, double wall);

// The mean levels of the model's workload over the last `real_seconds` of
// wall-clock time (an instant for 0).
Load recent_load(const Model& model, double real_seconds);

// The mean levels between two wall-clock times (from the first contact on).
Load load_between(const Model& model, double from_wall, double to_wall);

}  // namespace ctlsim
