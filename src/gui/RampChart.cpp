#include "gui/RampChart.h"

TRampChart::TRampChart(const TChartModel& model, QWidget* parent)
    : TPlotWidget("Chart2", model, parent) {}

void TRampChart::paintchart(QPainter& p, const QRectF& rect) const {
  paintrampchart(p, rect, model(), fonts());
}

TRampChartLayout TRampChart::layout() const {
  return layoutrampchart(model(), width(), height(), fonts().metrics());
}
