#pragma once
// TRampChart (Chart2): one point per ramp step, the users of the step against the average
// request processing time (black squares, left axis, labelled "ok" or "n% Errors") and the
// average user wait time so far (dark green triangles, right axis). A handful of points: it is
// drawn whole at every paint.

#include "gui/PlotWidget.h"

class TRampChart : public TPlotWidget {
 public:
  TRampChart(const TChartModel& model, QWidget* parent = nullptr);

  void paintchart(QPainter& p, const QRectF& rect) const override;
  // The layout at the widget's current size.
  TRampChartLayout layout() const;
};
