#include "gui/RequestChart.h"

#include <QEvent>
#include <QHelpEvent>
#include <QToolTip>
#include <cmath>
#include <limits>

TRequestChart::TRequestChart(const TChartModel& model, QWidget* parent)
    : TPlotWidget("Chart1", model, parent) {}

void TRequestChart::paintchart(QPainter& p, const QRectF& rect) const {
  paintrequestchart(p, rect, model(), fonts());
}

QImage TRequestChart::image() const {
  // What the screen shows, at the widget's size.
  if (!stale_ && cache_.size() == size() * devicePixelRatio()) return cache_;
  return TPlotWidget::image();
}

void TRequestChart::refresh() {
  if (!stale_) {
    const TRequestChartLayout l = layoutrequestchart(model(), width(), height(), fonts().metrics());
    if (l.sameplot(layout_) && model().requestgeneration() == generation_ &&
        model().textrevision() == textrev_) {
      if (model().requests().size() == drawn_) return;
      const size_t from = drawn_;
      rasterpoints(from);
      update();
      return;
    }
  }
  stale_ = true;
  update();
}

void TRequestChart::redraw() {
  ++fullredraws_;
  const qreal dpr = devicePixelRatio();
  cache_ = QImage(size() * dpr, QImage::Format_RGB32);
  cache_.setDevicePixelRatio(dpr);
  layout_ = layoutrequestchart(model(), width(), height(), fonts().metrics());
  textrev_ = model().textrevision();
  generation_ = model().requestgeneration();
  {
    QPainter p(&cache_);
    paintrequestframe(p, layout_, fonts());
  }
  const QRectF plot = qrect(layout_.plot);
  depthrect_ =
      QRect(QPoint(int(std::floor(plot.left() * dpr)), int(std::floor(plot.top() * dpr))),
            QPoint(int(std::ceil(plot.right() * dpr)) - 1, int(std::ceil(plot.bottom() * dpr)) - 1))
          .intersected(cache_.rect());
  depth_.assign(size_t(std::max(0, depthrect_.width())) * size_t(std::max(0, depthrect_.height())),
                TDepth{-1, -std::numeric_limits<double>::infinity()});
  drawn_ = 0;
  rasterpoints(0);
  stale_ = false;
}

void TRequestChart::rasterpoints(size_t from) {
  const auto& points = model().requests();
  const qreal dpr = cache_.devicePixelRatio();
  const int w = depthrect_.width();
  for (size_t i = from; i < points.size(); ++i) {
    const TChartPoint& pt = points[i];
    const TChartRect r = layout_.pointrect(pt);
    const QRect dev = QRect(int(std::lround(r.left * dpr)), int(std::lround(r.top * dpr)),
                            int(std::lround(r.width * dpr)), int(std::lround(r.height * dpr)))
                          .intersected(depthrect_);
    if (dev.isEmpty()) continue;
    const TChartColour c = chartstyle::outcomecolour(pt.outcome());
    const QRgb rgb = qRgb(c.r, c.g, c.b);
    const int layer = pointlayer(pt);
    const double key = pointdepth(pt, i);
    for (int y = dev.top(); y <= dev.bottom(); ++y) {
      auto* line = reinterpret_cast<QRgb*>(cache_.scanLine(y));
      TDepth* depth = depth_.data() + size_t(y - depthrect_.top()) * size_t(w);
      for (int x = dev.left(); x <= dev.right(); ++x) {
        // An equal depth goes to the later completion, as painting in order would.
        TDepth& d = depth[x - depthrect_.left()];
        if (layer > d.layer || (layer == d.layer && key >= d.depth)) {
          d = TDepth{layer, key};
          line[x] = rgb;
        }
      }
    }
  }
  drawn_ = points.size();
}

QString TRequestChart::pointtext(QPointF pos) const {
  if (stale_ || !qrect(layout_.plot).contains(pos)) return {};
  const auto& points = model().requests();
  const TChartPoint* top = nullptr;
  std::pair<int, double> topkey;
  for (size_t i = 0; i < points.size(); ++i) {
    const TChartPoint& pt = points[i];
    // The point drawn last at this place is the one seen: the highest layer, the deepest.
    if (!qrect(layout_.pointrect(pt)).contains(pos)) continue;
    const std::pair<int, double> key{pointlayer(pt), pointdepth(pt, i)};
    if (top == nullptr || key >= topkey) {
      top = &pt;
      topkey = key;
    }
  }
  if (top == nullptr) return {};
  const TOutcome outcome = top->outcome();
  const std::string label = outcome == ocAborted || outcome == ocClientError
                                ? std::string(outcomename(outcome))
                                : TChartModel::pointlabel(top->statuscode);
  QString text =
      QString("%1: started %2 ms, waited %3 ms")
          .arg(label.empty() ? QString::number(top->statuscode) : QString::fromStdString(label))
          .arg(double(top->x), 0, 'f', 0)
          .arg(double(top->y), 0, 'f', 0);
  // The server's own share of the wait, from the kernel's stamps, to a tenth of a millisecond:
  // it is often far below one.
  if (top->server >= 0) text += QString(", server time %1 ms").arg(double(top->server), 0, 'f', 1);
  // Where the wait went before the request left: the connection, and for https the handshake.
  if (top->connect >= 0) text += QString(", connect %1 ms").arg(double(top->connect), 0, 'f', 1);
  if (top->tls >= 0) text += QString(", TLS %1 ms").arg(double(top->tls), 0, 'f', 1);
  return text;
}

bool TRequestChart::event(QEvent* event) {
  if (event->type() == QEvent::ToolTip) {
    auto* help = static_cast<QHelpEvent*>(event);
    QString text = pointtext(help->pos());
    if (text.isEmpty() && layout_.footcut) {
      for (const auto& line : model().foot())
        if (!line.empty()) text += (text.isEmpty() ? "" : "\n") + QString::fromStdString(line);
    }
    if (text.isEmpty())
      QToolTip::hideText();
    else
      QToolTip::showText(help->globalPos(), text, this);
    return true;
  }
  return TPlotWidget::event(event);
}

void TRequestChart::paintEvent(QPaintEvent*) {
  if (stale_ || cache_.size() != size() * devicePixelRatio()) redraw();
  QPainter p(this);
  p.drawImage(QPointF(0, 0), cache_);
  paintfocus(p);
}

void TRequestChart::resizeEvent(QResizeEvent* event) {
  stale_ = true;
  TPlotWidget::resizeEvent(event);
}

void TRequestChart::changeEvent(QEvent* event) {
  if (event->type() == QEvent::FontChange) stale_ = true;
  TPlotWidget::changeEvent(event);
}
