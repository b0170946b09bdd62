#pragma once
// TRequestChart (Chart1): one point per completed request, where it started against how long its
// user waited, in its outcome's colour. The screen shows a cached image: new points are drawn
// onto it as they arrive, and only a change of the axes or the texts redraws everything. A depth
// buffer keyed by pointlayer() and pointdepth() keeps the drawing order of
// pointorder() whatever order the completions arrive in.

#include <cstdint>
#include <vector>

#include "gui/PlotWidget.h"

class TRequestChart : public TPlotWidget {
 public:
  TRequestChart(const TChartModel& model, QWidget* parent = nullptr);

  void paintchart(QPainter& p, const QRectF& rect) const override;
  QImage image() const override;

  // The model gained points, or its texts changed, or it was cleared: catch up. Costs what the
  // new points cost unless the axes or the layout moved.
  void refresh();

  // The text of the point on top at pos (widget coordinates): its label ("E404", "TimeOut", or
  // "200" for an ok request), start and wait time, and where known the server time, the connect
  // time and the TLS handshake's; empty where no point is. Where none is and the
  // foot lines could not be shown whole, the tool tip shows them instead.
  QString pointtext(QPointF pos) const;

  // How many full redraws happened (a benchmark and tests watch it).
  int fullredraws() const { return fullredraws_; }
  // The layout the cached image was drawn with.
  const TRequestChartLayout& layout() const { return layout_; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  bool event(QEvent* event) override;  // the point under the mouse as a tool tip
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  void redraw();
  void rasterpoints(size_t from);

  QImage cache_;
  TRequestChartLayout layout_;
  struct TDepth {
    int layer;
    double depth;
  };
  std::vector<TDepth> depth_;  // layer and depth of the point that coloured each pixel
  QRect depthrect_;            // the plot in device pixels
  size_t drawn_ = 0;
  uint64_t textrev_ = 0, generation_ = 0;
  bool stale_ = true;
  int fullredraws_ = 0;
};
