#include "report/statistics.h"

#include <algorithm>
#include <cmath>

namespace report {

Stats statistics(const std::vector<double>& values) {
  Stats stats;
  std::vector<double> numbers;
  numbers.reserve(values.size());
  for (double v : values)
    if (!std::isnan(v)) numbers.push_back(v);
  if (numbers.empty()) return stats;
  std::sort(numbers.begin(), numbers.end());
  stats.count = numbers.size();
  stats.min = numbers.front();
  stats.max = numbers.back();
  double sum = 0;
  for (double v : numbers) sum += v;
  stats.mean = sum / static_cast<double>(numbers.size());
  // Nearest rank: ceil(0.95 n), counted from 1; integer arithmetic keeps
  // 0.95 * 20 at exactly 19.
  std::size_t rank = (numbers.size() * 95 + 99) / 100;
  stats.p95 = numbers[std::max<std::size_t>(rank, 1) - 1];
  return stats;
}

}  // namespace report
