// Min, mean, p95 and max of a column's numbers: the figures the verdict and
// the comparison of two captures show.
#pragma once

#include <cstddef>
#include <vector>

namespace report {

struct Stats {
  std::size_t count = 0;  // numbers counted; the rest is meaningless when 0
  double min = 0, mean = 0, p95 = 0, max = 0;
};

// Over the numbers of `values`, NaNs left out. p95 is the nearest rank:
// the smallest value that at least 95 % of the values do not exceed.
Stats statistics(const std::vector<double>& values);

}  // namespace report
