#include "results/ChartAxis.h"

#include <cmath>
#include <cstdio>

double nicestep(double rough, double minstep) {
  if (!(rough > 0) || !std::isfinite(rough)) rough = minstep > 0 ? minstep : 1;
  if (rough < minstep) rough = minstep;
  double power = std::pow(10.0, std::floor(std::log10(rough)));
  for (;;) {
    for (double m : {1.0, 2.0, 5.0}) {
      // A relative tolerance keeps 0.3 / 3 from turning into 0.2 by rounding.
      if (m * power >= rough * (1 - 1e-9)) return m * power;
    }
    power *= 10;
  }
}

int stepdecimals(double step) {
  int d = 0;
  while (d < 15 && std::fabs(step * std::pow(10.0, d) - std::nearbyint(step * std::pow(10.0, d))) >
                       1e-6 * step * std::pow(10.0, d))
    ++d;
  return d;
}

std::string ticklabel(double value, int decimals, bool thousands) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*f", decimals, value);
  std::string s = buf;
  if (s[0] == '-' && s.find_first_not_of("-0.") == std::string::npos) s.erase(0, 1);
  if (!thousands) return s;
  const size_t start = s[0] == '-' ? 1 : 0;
  size_t end = s.find('.');
  if (end == std::string::npos) end = s.size();
  for (size_t i = end; i > start + 3; i -= 3) s.insert(i - 3, 1, ',');
  return s;
}

namespace {

TAxisScale scalewith(double min, double datamax, double step, const TAxisOptions& o) {
  TAxisScale s;
  s.min = min;
  s.step = step;
  s.decimals = stepdecimals(step);
  s.max = datamax > min ? std::ceil(datamax / step - 1e-9) * step : min + step;
  if (s.max <= min) s.max = min + step;
  const double first = std::ceil(min / step - 1e-9);
  if (first * step - min >= step * 0.75)
    s.ticks.push_back({min, ticklabel(min, s.decimals, o.thousands)});
  for (double k = first; k * step <= s.max + step * 1e-9; ++k) {
    const double v = k * step;
    s.ticks.push_back({v, ticklabel(v, s.decimals, o.thousands)});
  }
  return s;
}

}  // namespace

TAxisScale autoscale(double min, double datamax, const TAxisOptions& options,
                     const std::function<bool(const TAxisScale&)>& fits) {
  if (!std::isfinite(datamax)) datamax = min;
  const double span = datamax > min ? datamax - min : 0;
  // Start where at most ~50 ticks would stand and grow until the ticks fit.
  double step =
      nicestep(span > 0 ? span / 50 : (options.minstep > 0 ? options.minstep : 1), options.minstep);
  TAxisScale s = scalewith(min, datamax, step, options);
  // A step that covers the whole span is the coarsest with a meaning: growing further would only
  // label values far beyond the data (a 10-pixel axis once read 100000000000000000000).
  for (int tries = 0; tries < 60 && !fits(s) && step < span; ++tries) {
    step = nicestep(step * 1.5, options.minstep);
    s = scalewith(min, datamax, step, options);
  }
  return s;
}

TAxisScale autoscale(double min, double datamax, int maxticks, const TAxisOptions& options) {
  return autoscale(min, datamax, options, [maxticks](const TAxisScale& s) {
    return static_cast<int>(s.ticks.size()) <= maxticks;
  });
}
