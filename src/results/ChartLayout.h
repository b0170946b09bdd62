#pragma once
// Where everything of a result chart stands for a given size: title, legend, plot area, axes with
// their ticks and labels, axis titles, the ramp curve's marks and the request chart's foot lines.
// Qt-free: the window, its print and copy, the printed report and the SVG writer draw the same
// layout, so a chart reads the same everywhere.
//
// Contents
//   pointorder            the order request points are drawn in: failures over successes,
//                         the failure classes interleaved
//   layoutrequestchart    Chart1: one point per request, four foot lines
//   layoutrampchart       Chart2: two curves on two value axes, legend, marks
//   layoutsharechart      wait distributions: the cumulative share of requests against time
//
// Coordinates are in the units of the given size (pixels on screen), y growing downwards. When the
// request chart's vertical axis title would not fit along its axis it is written horizontally
// above the axis; the ramp chart's wrap along their axes, or, where the plot is too low for that,
// its legend names the axes: each series' entry over its own axis. No axis title is ever cut. A
// chart too small for a plot whose every label is a tick value shows a note saying so instead of
// axes.

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "results/ChartAxis.h"
#include "results/ChartModel.h"
#include "results/ChartStyle.h"
#include "results/ChartText.h"

struct TChartRect {
  double left = 0, top = 0, width = 0, height = 0;
  double right() const { return left + width; }
  double bottom() const { return top + height; }
};

enum class TTextAlign { left, centre, right };

struct TChartText {
  std::string text;  // as drawn: already elided or wrapped
  TChartRect box;    // the text stands inside, vertically centred
  TTextAlign align = TTextAlign::centre;
  bool vertical = false;  // turned to read from bottom to top; box is then tall and narrow
  // text may hold '\n': its lines stack downwards (leftwards-to-rightwards when vertical), each
  // fitted on its own.
  TChartFont font = TChartFont::text;
};

struct TAxisLayout {
  TAxisScale scale;
  double from = 0, to = 1;         // the positions of scale.min and scale.max
  std::vector<TChartText> labels;  // one per tick of scale
  double pos(double value) const {
    return from + (value - scale.min) / (scale.max - scale.min) * (to - from);
  }
};

struct TLegendEntry {
  TChartText text;                  // empty when the axis title beside the marker names the series
  double markerx = 0, markery = 0;  // centre of the marker
  TChartColour colour;
  bool triangle = false;
};

struct TRequestChartLayout {
  TChartRect bounds, plot;
  // false: too small to plot; then only title, note and foot lines are shown, no axis or point.
  bool plotted = true;
  TChartText note;       // says why nothing is plotted; empty while plotted
  bool footcut = false;  // the foot did not fit whole: its last line shown ends in "…"
  TChartText title;
  TAxisLayout xaxis, yaxis;  // bottom and left; the left one has grid lines
  TChartText xtitle, ytitle;
  std::vector<TChartText> foot;  // the foot lines as displayed, top to bottom
  // Beside the x axis title where there is room: each outcome class present with its count
  // ("ok 1000", "error 500", "timeout 12", "aborted 3", "client error 2"), its marker a request
  // point's square in the class's colour.
  std::vector<TLegendEntry> legend;

  // The filled square of a request point, on whole units so that every writer covers the same
  // pixels.
  TChartRect pointrect(const TChartPoint& p) const;
  // Two layouts whose plot and scales agree place every point alike.
  bool sameplot(const TRequestChartLayout& o) const;
};

struct TRampChartLayout {
  TChartRect bounds, plot;
  bool plotted = true;  // false: too small; only title and note are shown
  TChartText note;
  TChartText title;
  std::vector<TLegendEntry> legend;        // "ramps", then "ramps3"
  TAxisLayout xaxis, leftaxis, rightaxis;  // the left one has grid lines
  // The value axes' titles along them, wrapped; empty when the legend's entries stand over the
  // axes instead (a low plot).
  TChartText xtitle, lefttitle, righttitle;
  std::vector<TChartText> marks;  // the label of each "ramps" point, just above it
};

// One curve of a distribution chart: (time ms, share of requests in %) points, rising.
struct TShareSeries {
  std::string label;
  TChartColour colour;
  std::vector<std::pair<double, double>> points;
};

struct TShareChartLayout {
  TChartRect bounds, plot;
  bool plotted = true;  // false: too small; only title and note are shown
  TChartText note;
  TChartText title;
  std::vector<TLegendEntry> legend;  // one per series, a line as marker
  TAxisLayout xaxis, yaxis;          // time, share 0 .. 100 %; the share axis has grid lines
  TChartText xtitle, ytitle;
};

inline constexpr const char* kShareXTitle = "User Wait Time [ms]";
inline constexpr const char* kShareYTitle = "Requests Done [%]";

// The note of a chart too small to plot.
inline constexpr const char* kTooSmallNote = "Too small to plot: enlarge the window";

// Axis titles, series and legend texts of the two charts.
inline constexpr const char* kRequestXTitle = "Start Time Of Request [ms]";
inline constexpr const char* kRequestYTitle = "User Wait Time [ms]";
inline constexpr const char* kRampXTitle = "Number Of Simultaneous Users";
inline constexpr const char* kRampProcTitle = "Average Request Proc. Time [ms]";
inline constexpr const char* kRampWaitTitle = "Average User Wait Time [ms]";

// The legend's word for an outcome class: "ok", "error", "timeout", "aborted", "client error".
const char* outcomename(TOutcome o);
// Where a request point is drawn: its layer (0 for ok, 1 for every other outcome, so a failure is
// never hidden by a success) and its depth within the layer, the higher drawn over the lower (the
// later completion wins a tie). Ok points go by start time. The other classes are interleaved
// in a fixed scramble of their completion number (index in the model): where they overlap, each
// shows in proportion to its count, however dense the plot, and none hides another whole.
int pointlayer(const TChartPoint& p);
double pointdepth(const TChartPoint& p, size_t index);
// Indices of the request points in drawing order, by layer, then depth, then completion.
std::vector<size_t> pointorder(const TChartModel& m);

TRequestChartLayout layoutrequestchart(const TChartModel& m, double width, double height,
                                       const TChartMetrics& fm);
TRampChartLayout layoutrampchart(const TChartModel& m, double width, double height,
                                 const TChartMetrics& fm);
TShareChartLayout layoutsharechart(const std::string& title,
                                   const std::vector<TShareSeries>& series, double width,
                                   double height, const TChartMetrics& fm);
