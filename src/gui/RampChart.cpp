#include "gui/RampChart.h"

TRampChart::TRampChart(const TChartModel& model, QWidget* parent)
    : TPlotWidget("Chart2", model, parent) {}

void TRampChart::paintchart(QPainter& p, const QRectF& rect) const {
  const TChartFonts f = fonts();
  p.save();
  p.translate(rect.topLeft());
  paintrampchart(p, layoutrampchart(model(), rect.width(), rect.height(), f.metrics()), model(), f);
  p.restore();
}

TRampChartLayout TRampChart::layout() const {
  return layoutrampchart(model(), width(), height(), fonts().metrics());
}
