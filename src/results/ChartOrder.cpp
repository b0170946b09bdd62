// The outcome classes of the request points as the charts draw them: their legend words and the
// order the points are drawn in (see ChartLayout.h).

#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

#include "results/ChartLayout.h"

const char* outcomename(TOutcome o) {
  switch (o) {
    case ocOk:
      return "ok";
    case ocTimeout:
      return "timeout";
    case ocAborted:
      return "aborted";
    case ocClientError:
      return "client error";
    case ocError:
      break;
  }
  return "error";
}

int pointlayer(const TChartPoint& p) {
  return p.outcome() == ocOk ? 0 : 1;
}

double pointdepth(const TChartPoint& p, size_t index) {
  if (pointlayer(p) == 0) return static_cast<double>(p.x);
  // A fixed scramble of the completion number (splitmix64), as a fraction in [0, 1).
  uint64_t z = index + 0x9e3779b97f4a7c15ull;
  z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
  z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
  z ^= z >> 31;
  return static_cast<double>(z >> 11) * 0x1.0p-53;
}

std::vector<size_t> pointorder(const TChartModel& m) {
  const auto& points = m.requests();
  std::vector<std::pair<int, double>> key(points.size());
  for (size_t i = 0; i < points.size(); ++i)
    key[i] = {pointlayer(points[i]), pointdepth(points[i], i)};
  std::vector<size_t> order(points.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = i;
  // Equal keys keep their completion order: the later completion is drawn over the earlier.
  std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return key[a] < key[b]; });
  return order;
}
