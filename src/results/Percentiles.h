#pragma once
// Order statistics of a set of times, by the nearest-rank method: the p-th percentile of n sorted
// values is the value at rank ceil(p / 100 * n), so every reported figure is a time that was
// actually measured. Merged results recompute them from the same columns with the same function.

#include <cstddef>
#include <vector>

struct TPercentiles {
  size_t count = 0;  // values taken into account; every figure is 0 when there were none
  double min = 0, median = 0, p90 = 0, p99 = 0, max = 0;
};

// The value at the p-th percentile (0 < p <= 100) of sorted, which must be sorted ascending and
// non-empty.
double nearestrank(const std::vector<double>& sorted, double p);

// Figures of values; negative values (a time that was never taken) are left out.
TPercentiles percentiles(std::vector<double> values);
