#pragma once
// Axis arithmetic of the result charts: a fixed minimum, an automatic maximum and "nice" tick
// steps of 1, 2 or 5 x 10^n, labelled with as many decimals as the step needs, so that no two
// labels read alike. Qt-free: the window and the SVG writer share it.

#include <functional>
#include <string>
#include <vector>

struct TAxisTick {
  double value = 0;
  std::string label;
};

struct TAxisScale {
  double min = 0;
  double max = 1;    // > min; a multiple of step unless the data reach no further than min
  double step = 1;   // 1, 2 or 5 x 10^n
  int decimals = 0;  // digits after the point every label carries
  std::vector<TAxisTick> ticks;  // ascending, labels distinct
};

struct TAxisOptions {
  double minstep = 0;      // smallest step allowed (1 for a count of users); 0: any
  bool thousands = false;  // "20,000" instead of "20000"
};

// The smallest nice step (1, 2 or 5 x 10^n, at least minstep) that is >= rough.
double nicestep(double rough, double minstep = 0);

// Digits after the point that a label needs to show multiples of step exactly (0.5 -> 1,
// 0.02 -> 2, 5 -> 0).
int stepdecimals(double step);

// value with decimals digits after the point; with thousands, groups of three digits before it
// are separated by ','. "-0" never appears.
std::string ticklabel(double value, int decimals, bool thousands = false);

// The scale from min up to datamax with the finest nice step whose ticks pass fits(step, labels
// of that scale). Steps grow until they fit, but never beyond the first step that covers the data
// alone: when even that one does not fit, it is returned, so every label stays a value near the
// data; the caller asks fits() again to learn that the axis is too short to be drawn.
// Ticks stand at the multiples of step inside [min, max]; min itself is a tick too when it is not
// a multiple and lies at least three quarters of a step below the first one, so labels never crowd.
// A datamax at or below min (no data yet) gives the range of one minimal step.
TAxisScale autoscale(double min, double datamax, const TAxisOptions& options,
                     const std::function<bool(const TAxisScale&)>& fits);

// The same with at most maxticks ticks.
TAxisScale autoscale(double min, double datamax, int maxticks, const TAxisOptions& options = {});
