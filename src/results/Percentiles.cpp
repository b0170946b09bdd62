#include "results/Percentiles.h"

#include <algorithm>
#include <cmath>

double nearestrank(const std::vector<double>& sorted, double p) {
  // The small allowance keeps p * n that are whole numbers in theory (90 % of 10) from rounding
  // up to the next rank through binary arithmetic.
  double rank = std::ceil(p / 100.0 * static_cast<double>(sorted.size()) - 1e-9);
  size_t index = rank < 1 ? 0 : static_cast<size_t>(rank) - 1;
  return sorted[std::min(index, sorted.size() - 1)];
}

TPercentiles percentiles(std::vector<double> values) {
  values.erase(std::remove_if(values.begin(), values.end(), [](double v) { return v < 0; }),
               values.end());
  TPercentiles p;
  p.count = values.size();
  if (values.empty()) return p;
  std::sort(values.begin(), values.end());
  p.min = values.front();
  p.median = nearestrank(values, 50);
  p.p90 = nearestrank(values, 90);
  p.p99 = nearestrank(values, 99);
  p.max = values.back();
  return p;
}
