// Shared piece of the sampler tests: run settings from a real command line.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "core/state.h"
#include "run/options_internal.h"

namespace samplers_test {

// A fresh run record with `args` parsed as kestrel would parse them.
inline const core::RunOptions& options_from(const std::vector<std::string>& args) {
  core::reset_state();
  std::FILE* out = std::tmpfile();
  std::FILE* err = std::tmpfile();
  run::ParseOutcome outcome = run::parse_arguments(args, out, err);
  if (!outcome.exit) outcome = run::find_option_conflicts(out, err);
  std::fclose(out);
  std::fclose(err);
  EXPECT_FALSE(outcome.exit) << "command line refused";
  return core::state().options;
}

}  // namespace samplers_test
