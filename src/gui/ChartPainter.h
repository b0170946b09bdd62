#pragma once
// Draws the chart layouts of results/ChartLayout.h with a QPainter: the same routine serves the
// screen, the clipboard image, the printer, PDF and SVG. Fonts are pixel-sized, so a painter
// scaled to a page scales the texts with the chart.

#include <QColor>
#include <QFont>
#include <QPainter>
#include <QRectF>

#include "results/ChartLayout.h"
#include "results/ChartModel.h"

struct TChartFonts {
  QFont title;  // bold
  QFont text;

  // The chart's fonts derived from a widget's font: the texts one pixel smaller, the title bold.
  static TChartFonts from(const QFont& base);
  // Widths and heights of the two fonts, for the layout.
  TChartMetrics metrics() const;
};

// While one lives, charts are drawn for a black-and-white printer: every colour becomes black,
// greys and white stay. Colour drawing returns when the last one goes.
class TMonochromeCharts {
 public:
  TMonochromeCharts();
  ~TMonochromeCharts();
  TMonochromeCharts(const TMonochromeCharts&) = delete;
  TMonochromeCharts& operator=(const TMonochromeCharts&) = delete;
  static bool active();
};

QColor qcolour(TChartColour c);
QRectF qrect(const TChartRect& r);

// The request chart without its points: background, title, axes, grid, labels, axis titles,
// legend, foot lines or the note of a chart too small to plot, at the layout's bounds.
void paintrequestframe(QPainter& p, const TRequestChartLayout& l, const TChartFonts& f);
// The request points in pointorder(), each in its outcome class's colour, clipped to the plot: a
// failure is drawn over every success, the failure classes interleaved, and a later-started
// success over an earlier one. Nothing while the layout is not plotted.
void paintrequestpoints(QPainter& p, const TRequestChartLayout& l, const TChartModel& m);
// The whole ramp chart.
void paintrampchart(QPainter& p, const TRampChartLayout& l, const TChartModel& m,
                    const TChartFonts& f);

// A whole chart laid out at rect's size in the painter's units and drawn there: the widgets and
// the printed report draw through these.
void paintrequestchart(QPainter& p, const QRectF& rect, const TChartModel& m, const TChartFonts& f);
void paintrampchart(QPainter& p, const QRectF& rect, const TChartModel& m, const TChartFonts& f);
