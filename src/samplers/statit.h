// The statit sampler of a controller: one long report over half or all of
// the sampling time, then short reports of one interval each ("stutter"),
// as the run's -k, -K and -H and the controller's statit mode ask.
#pragma once

#include <string>
#include <vector>

#include "samplers/jobs.h"

namespace samplers {

struct StatitValues {
  int half = 0;     // (I / 2) * C seconds
  int full = 0;     // I * C seconds
  int reports = 0;  // N, the number of stutter reports; -1 for none
  int long_seconds = 0;
};

StatitValues statit_values(const JobSettings& settings, int statit_mode);

// One step of the sampler's file. kStopPastBound ends the series when the
// worker has run H seconds or more.
struct StatitStep {
  enum class Kind {
    kLine,
    kBeginStamp,
    kEndStamp,
    kStatitBegin,
    kStatitEnd,
    kSleep,
    kStopPastBound
  };
  Kind kind;
  std::string text;  // kLine
  int seconds = 0;   // kSleep
};

std::vector<StatitStep> statit_steps(const JobSettings& settings, int statit_mode);

}  // namespace samplers
