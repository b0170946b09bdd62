#include "gui/ChartPainter.h"

#include <QFontInfo>
#include <QFontMetricsF>
#include <QPolygonF>
#include <algorithm>

TChartFonts TChartFonts::from(const QFont& base) {
  const int px = QFontInfo(base).pixelSize();
  TChartFonts f;
  f.title = base;
  f.title.setPixelSize(std::max(9, px));
  f.title.setBold(true);
  f.text = base;
  f.text.setPixelSize(std::max(8, px - 1));
  return f;
}

TChartMetrics TChartFonts::metrics() const {
  TChartMetrics m;
  const QFontMetricsF t(title), x(text);
  m.titlewidth = [t](const std::string& s) {
    return t.horizontalAdvance(QString::fromStdString(s));
  };
  m.textwidth = [x](const std::string& s) {
    return x.horizontalAdvance(QString::fromStdString(s));
  };
  m.titleheight = std::ceil(t.height());
  m.textheight = std::ceil(x.height());
  return m;
}

namespace {
int monochromes = 0;
}

TMonochromeCharts::TMonochromeCharts() {
  ++monochromes;
}

TMonochromeCharts::~TMonochromeCharts() {
  --monochromes;
}

bool TMonochromeCharts::active() {
  return monochromes > 0;
}

QColor qcolour(TChartColour c) {
  const bool grey = c.r == c.g && c.g == c.b;
  if (monochromes > 0 && !grey) return Qt::black;
  return QColor(c.r, c.g, c.b);
}

QRectF qrect(const TChartRect& r) {
  return QRectF(r.left, r.top, r.width, r.height);
}

namespace {

void drawtext(QPainter& p, const TChartText& t, const TChartFonts& f) {
  if (t.text.empty()) return;
  p.setFont(t.font == TChartFont::title ? f.title : f.text);
  p.setPen(qcolour(chartstyle::kText));
  const QString s = QString::fromStdString(t.text);
  const Qt::Alignment h = t.align == TTextAlign::left    ? Qt::AlignLeft
                          : t.align == TTextAlign::right ? Qt::AlignRight
                                                         : Qt::AlignHCenter;
  if (!t.vertical) {
    // Never clipped: the layout already fitted the text, and a clip would cut a glyph's overhang.
    p.drawText(qrect(t.box), h | Qt::AlignVCenter | Qt::TextDontClip, s);
    return;
  }
  p.save();
  const QRectF b = qrect(t.box);
  p.translate(b.center());
  p.rotate(-90);
  p.drawText(QRectF(-b.height() / 2, -b.width() / 2, b.height(), b.width()),
             h | Qt::AlignVCenter | Qt::TextDontClip, s);
  p.restore();
}

// Axis line, ticks and labels of a vertical axis standing at x; grid lines across the plot.
void drawvertical(QPainter& p, const TAxisLayout& a, double x, double tick, const QRectF& plot,
                  bool grid, const TChartFonts& f) {
  for (size_t i = 0; i < a.scale.ticks.size(); ++i) {
    const double y = a.pos(a.scale.ticks[i].value);
    if (grid && y > plot.top() + 0.5 && y < plot.bottom() - 0.5) {
      p.setPen(QPen(qcolour(chartstyle::kGrid), 0));
      p.drawLine(QPointF(plot.left(), y), QPointF(plot.right(), y));
    }
    p.setPen(QPen(qcolour(chartstyle::kAxis), 0));
    p.drawLine(QPointF(x, y), QPointF(x + tick, y));
    drawtext(p, a.labels[i], f);
  }
  p.setPen(QPen(qcolour(chartstyle::kAxis), 0));
  p.drawLine(QPointF(x, plot.top()), QPointF(x, plot.bottom()));
}

void drawhorizontal(QPainter& p, const TAxisLayout& a, const QRectF& plot, const TChartFonts& f) {
  p.setPen(QPen(qcolour(chartstyle::kAxis), 0));
  p.drawLine(QPointF(plot.left(), plot.bottom()), QPointF(plot.right(), plot.bottom()));
  for (size_t i = 0; i < a.scale.ticks.size(); ++i) {
    const double x = a.pos(a.scale.ticks[i].value);
    p.drawLine(QPointF(x, plot.bottom()), QPointF(x, plot.bottom() + 3));
    drawtext(p, a.labels[i], f);
  }
}

void drawmarker(QPainter& p, QPointF at, TChartColour c, bool triangle) {
  const double h = chartstyle::kRampMarkerHalf;
  p.setPen(Qt::NoPen);
  p.setBrush(qcolour(c));
  if (triangle)
    p.drawPolygon(QPolygonF({QPointF(at.x(), at.y() - h), QPointF(at.x() + h, at.y() + h),
                             QPointF(at.x() - h, at.y() + h)}));
  else
    p.drawRect(QRectF(at.x() - h, at.y() - h, 2 * h + 1, 2 * h + 1));
  p.setBrush(Qt::NoBrush);
}

}  // namespace

void paintrequestframe(QPainter& p, const TRequestChartLayout& l, const TChartFonts& f) {
  p.save();
  p.fillRect(qrect(l.bounds), qcolour(chartstyle::kBackground));
  const QRectF plot = qrect(l.plot);
  drawtext(p, l.title, f);
  drawtext(p, l.note, f);
  for (const auto& t : l.foot) drawtext(p, t, f);
  if (!l.plotted) {
    p.restore();
    return;
  }
  drawvertical(p, l.yaxis, plot.left(), -3, plot, true, f);
  drawhorizontal(p, l.xaxis, plot, f);
  drawtext(p, l.ytitle, f);
  drawtext(p, l.xtitle, f);
  for (const auto& e : l.legend) {
    const double h = chartstyle::kRequestPointHalf;
    p.fillRect(QRectF(e.markerx - h, e.markery - h, 2 * h + 1, 2 * h + 1), qcolour(e.colour));
    drawtext(p, e.text, f);
  }
  p.restore();
}

void paintrequestpoints(QPainter& p, const TRequestChartLayout& l, const TChartModel& m) {
  if (!l.plotted) return;
  const auto& points = m.requests();
  const std::vector<size_t> order = pointorder(m);
  p.save();
  p.setClipRect(qrect(l.plot));
  p.setPen(Qt::NoPen);
  for (size_t i : order) {
    p.fillRect(qrect(l.pointrect(points[i])),
               qcolour(chartstyle::outcomecolour(points[i].outcome())));
  }
  p.restore();
}

void paintrampchart(QPainter& p, const TRampChartLayout& l, const TChartModel& m,
                    const TChartFonts& f) {
  p.save();
  p.fillRect(qrect(l.bounds), qcolour(chartstyle::kBackground));
  const QRectF plot = qrect(l.plot);
  drawtext(p, l.title, f);
  drawtext(p, l.note, f);
  if (!l.plotted) {
    p.restore();
    return;
  }
  drawvertical(p, l.leftaxis, plot.left(), -3, plot, true, f);
  drawvertical(p, l.rightaxis, plot.right(), 3, plot, false, f);
  drawhorizontal(p, l.xaxis, plot, f);
  drawtext(p, l.xtitle, f);
  drawtext(p, l.lefttitle, f);
  drawtext(p, l.righttitle, f);
  for (const auto& e : l.legend) {
    p.setPen(QPen(qcolour(e.colour), 1));
    p.drawLine(QPointF(e.markerx - 7, e.markery), QPointF(e.markerx + 7, e.markery));
    drawmarker(p, QPointF(e.markerx, e.markery), e.colour, e.triangle);
    drawtext(p, e.text, f);
  }

  p.setRenderHint(QPainter::Antialiasing, true);
  auto curve = [&](const std::vector<TRampPoint>& pts, const TAxisLayout& y, TChartColour c,
                   bool triangle) {
    QPolygonF line;
    for (const auto& pt : pts) line << QPointF(l.xaxis.pos(pt.users), y.pos(double(pt.y)));
    p.setPen(QPen(qcolour(c), 1.5));
    p.drawPolyline(line);
    for (const QPointF& at : line) drawmarker(p, at, c, triangle);
  };
  curve(m.ramps(), l.leftaxis, chartstyle::kRampProc, false);
  curve(m.rampwaits(), l.rightaxis, chartstyle::kRampWait, true);
  p.setRenderHint(QPainter::Antialiasing, false);
  for (const auto& t : l.marks) drawtext(p, t, f);
  p.restore();
}

void paintrequestchart(QPainter& p, const QRectF& rect, const TChartModel& m,
                       const TChartFonts& f) {
  const TRequestChartLayout l = layoutrequestchart(m, rect.width(), rect.height(), f.metrics());
  p.save();
  p.translate(rect.topLeft());
  paintrequestframe(p, l, f);
  paintrequestpoints(p, l, m);
  p.restore();
}

void paintrampchart(QPainter& p, const QRectF& rect, const TChartModel& m, const TChartFonts& f) {
  p.save();
  p.translate(rect.topLeft());
  paintrampchart(p, layoutrampchart(m, rect.width(), rect.height(), f.metrics()), m, f);
  p.restore();
}
