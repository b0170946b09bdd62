#include "gui/Charts.h"

#include <QLegendMarker>
#include <QLocale>
#include <QPainter>
#include <QVBoxLayout>
#include <algorithm>

namespace {

// A fixed minimum and an automatic maximum with readable tick values.
void autorange(QValueAxis* axis, double min, double max) {
  if (!(max > min)) max = min + 1;
  axis->setRange(min, max * 1.05);
  axis->applyNiceNumbers();
  axis->setMin(min);
}

QValueAxis* valueaxis(const QString& title, const QString& format, bool grid) {
  auto* a = new QValueAxis;
  a->setTitleText(title);
  QFont small = a->labelsFont();
  small.setPointSizeF(small.pointSizeF() - 1);
  a->setLabelsFont(small);
  a->setTitleFont(small);
  a->setLabelFormat(format);
  a->setGridLineVisible(grid);
  return a;
}

// The ramp series draw their points as small filled shapes of the series' colour.
QImage marker(QColor colour, bool triangle) {
  QImage img(9, 9, QImage::Format_ARGB32);
  img.fill(Qt::transparent);
  QPainter p(&img);
  p.setPen(Qt::NoPen);
  p.setBrush(colour);
  if (triangle)
    p.drawPolygon(QPolygonF({QPointF(4.5, 0), QPointF(9, 9), QPointF(0, 9)}));
  else
    p.drawRect(0, 0, 9, 9);
  return img;
}

}  // namespace

TResultCharts::TResultCharts(QWidget* parent) : TCaptionPanel("Pressbolt is running...", parent) {
  setObjectName("Panel3");
  chart1_ = new TChartBox("Chart1", 4, this);
  chart2_ = new TChartBox("Chart2", 0, this);
  chart1_->printaction()->setObjectName("PrintGraph1");
  chart1_->copyaction()->setObjectName("CopyGraph1");
  chart2_->printaction()->setObjectName("PrintGraph21");
  chart2_->copyaction()->setObjectName("CopyGraph21");
  buildchart1();
  buildchart2();
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(chart1_, 1);
  layout->addWidget(chart2_);
  chart2_->hide();
}

void TResultCharts::buildchart1() {
  QChart* c = chart1_->chart();
  c->legend()->hide();
  x1_ = valueaxis("Start Time Of Request [ms]", "%.0f", false);
  y1_ = valueaxis("User Wait Time [ms]", "%.0f", true);
  c->addAxis(x1_, Qt::AlignBottom);
  c->addAxis(y1_, Qt::AlignLeft);
  autorange(x1_, 0, 0);
  autorange(y1_, 0, 0);
}

void TResultCharts::buildchart2() {
  QChart* c = chart2_->chart();
  // Thousands separators on the user axis, in the user's locale.
  QLocale locale;
  locale.setNumberOptions(QLocale::DefaultNumberOptions);
  c->setLocale(locale);
  c->setLocalizeNumbers(true);
  x2_ = valueaxis("Number Of Simultaneous Users", "%.0f", false);
  yleft2_ = valueaxis("Average Request Proc. Time [ms]", "%.0f", true);
  yright2_ = valueaxis("Average User Wait Time [ms]", "%.0f", false);
  c->addAxis(x2_, Qt::AlignBottom);
  c->addAxis(yleft2_, Qt::AlignLeft);
  c->addAxis(yright2_, Qt::AlignRight);

  ramps_ = new QLineSeries;
  ramps_->setName("Average Request Proc. Time [ms]");
  ramps3_ = new QLineSeries;
  ramps3_->setName("Average User Wait Time [ms]");
  // Colours after addSeries: adding a series paints it in the chart theme's colours.
  c->addSeries(ramps_);
  c->addSeries(ramps3_);
  ramps_->setColor(Qt::black);
  ramps_->setLightMarker(marker(Qt::black, false));
  ramps3_->setColor(QColor(0, 64, 0));
  ramps3_->setLightMarker(marker(QColor(0, 64, 0), true));
  for (QLineSeries* s : {ramps_, ramps3_}) {
    s->setPointsVisible(true);
    s->setMarkerSize(7);
  }
  ramps_->attachAxis(x2_);
  ramps_->attachAxis(yleft2_);
  ramps3_->attachAxis(x2_);
  ramps3_->attachAxis(yright2_);

  c->legend()->setAlignment(Qt::AlignTop);
  c->legend()->setBackgroundVisible(false);
  c->legend()->setBorderColor(Qt::transparent);
  connect(c, &QChart::plotAreaChanged, this, &TResultCharts::placerampmarks);
  connect(x2_, &QValueAxis::rangeChanged, this, &TResultCharts::placerampmarks);
  connect(yleft2_, &QValueAxis::rangeChanged, this, &TResultCharts::placerampmarks);
  clearramps();
}

void TResultCharts::setChart1Title(const QString& title) {
  chart1_->chart()->setTitle(title);
}
void TResultCharts::setChart2Title(const QString& title) {
  chart2_->chart()->setTitle(title);
}
QString TResultCharts::chart1Title() const {
  return chart1_->chart()->title();
}
QString TResultCharts::chart2Title() const {
  return chart2_->chart()->title();
}

void TResultCharts::setFootLine(int i, const QString& text) {
  chart1_->setfootline(i, text);
}
QString TResultCharts::footLine(int i) const {
  return chart1_->footline(i);
}

void TResultCharts::clear() {
  clearrequests();
  clearramps();
}

void TResultCharts::clearrequests() {
  for (auto& [code, list] : series_) {
    for (auto* s : list) {
      chart1_->chart()->removeSeries(s);
      delete s;
    }
  }
  series_.clear();
  maxx1_ = maxy1_ = 0;
  autorange(x1_, 0, 0);
  autorange(y1_, 0, 0);
}

void TResultCharts::clearramps() {
  ramps_->clear();
  ramps3_->clear();
  for (auto* m : rampmarks_) delete m;
  rampmarks_.clear();
  maxx2_ = maxleft2_ = 0;
  maxright2_ = 1;
  autorange(x2_, 0, 0);
  autorange(yleft2_, 0, 0);
  autorange(yright2_, 1, 1);
}

QString TResultCharts::pointlabel(int statuscode) {
  if (statuscode == 200) return {};
  if (statuscode == 0) return "TimeOut";
  return "E" + QString::number(statuscode);
}

QColor TResultCharts::pointcolour(int statuscode) {
  if (statuscode == 200) return QColor(0, 128, 0);
  if (statuscode == 0) return Qt::black;
  return QColor(255, 0, 0);
}

QScatterSeries* TResultCharts::requestseries(int statuscode) const {
  auto it = series_.find(statuscode);
  return it == series_.end() || it->second.empty() ? nullptr : it->second.front();
}

int TResultCharts::requestpointcount(int statuscode) const {
  auto it = series_.find(statuscode);
  int n = 0;
  if (it != series_.end()) {
    for (const auto* s : it->second) n += s->count();
  }
  return n;
}

int TResultCharts::requestpointcount() const {
  int n = 0;
  for (const auto& [code, list] : series_) n += requestpointcount(code);
  return n;
}

QScatterSeries* TResultCharts::newrequestseries(int code) {
  auto* s = new QScatterSeries;
  // The label is carried as the series' name; the chart shows no marks.
  s->setName(code == 200 ? QString("200") : pointlabel(code));
  s->setMarkerShape(QScatterSeries::MarkerShapeRectangle);
  s->setMarkerSize(5);
  chart1_->chart()->addSeries(s);
  s->setColor(pointcolour(code));
  s->setBorderColor(pointcolour(code));
  s->setPen(Qt::NoPen);
  s->attachAxis(x1_);
  s->attachAxis(y1_);
  series_[code].push_back(s);
  return s;
}

void TResultCharts::addRequestPoints(const std::vector<TRequestPoint>& batch) {
  if (batch.empty()) return;
  std::map<int, QList<QPointF>> bycode;
  for (const auto& p : batch) {
    bycode[p.statuscode].append(QPointF(p.x, p.y));
    maxx1_ = std::max(maxx1_, p.x);
    maxy1_ = std::max(maxy1_, p.y);
  }
  for (auto& [code, points] : bycode) {
    // Any change to a scatter series redraws every point of it, so a code's points are kept in
    // series of at most kSeriesPoints: a batch then costs what it adds, not what the chart holds.
    qsizetype at = 0;
    while (at < points.size()) {
      auto& list = series_[code];
      QScatterSeries* s = list.empty() || list.back()->count() >= kSeriesPoints
                              ? newrequestseries(code)
                              : list.back();
      qsizetype n = std::min<qsizetype>(kSeriesPoints - s->count(), points.size() - at);
      // append() of a list still reports every point on its own, and each report re-lays out the
      // whole series; replace() reports the batch once.
      s->replace(s->points() + points.mid(at, n));
      at += n;
    }
  }
  autorange(x1_, 0, maxx1_);
  autorange(y1_, 0, maxy1_);
}

void TResultCharts::addRampPoint(int users, double avgproc, const QString& label, double avgwait) {
  maxx2_ = std::max<double>(maxx2_, users);
  maxleft2_ = std::max(maxleft2_, avgproc);
  maxright2_ = std::max(maxright2_, avgwait);
  ramps_->append(users, avgproc);
  ramps3_->append(users, avgwait);
  auto* mark = new QGraphicsSimpleTextItem(label, chart2_->chart());
  mark->setData(0, QPointF(users, avgproc));
  rampmarks_.push_back(mark);
  autorange(x2_, 0, maxx2_);
  autorange(yleft2_, 0, maxleft2_);
  autorange(yright2_, 1, maxright2_);
  placerampmarks();
}

void TResultCharts::placerampmarks() {
  // Each mark stands centred just above its point; the axes may have moved with every new step.
  for (auto* m : rampmarks_) {
    const QPointF at = chart2_->chart()->mapToPosition(m->data(0).toPointF(), ramps_);
    const QRectF box = m->boundingRect();
    m->setPos(at.x() - box.width() / 2, at.y() - box.height() - 4);
  }
}

void TResultCharts::resizeEvent(QResizeEvent* event) {
  chart2_->setFixedHeight(height() / 2);
  TCaptionPanel::resizeEvent(event);
}
