#include "gui/ResultCharts.h"

#include <QVBoxLayout>
#include <algorithm>

namespace {

// The lowest height, in whole pixels up to most, at which plotted(height) holds (a chart that
// plots at some height also plots when higher); most + 1 when it never does.
template <class TPlotted>
int lowestplotted(const TPlotted& plotted, int most) {
  if (!plotted(most)) return most + 1;
  int low = 0, high = most;  // plotted(high); !plotted(low) is assumed for 0
  while (high - low > 1) {
    const int mid = (low + high) / 2;
    (plotted(mid) ? high : low) = mid;
  }
  return high;
}

}  // namespace

TResultCharts::TResultCharts(QWidget* parent) : TCaptionPanel("Pressbolt is running...", parent) {
  setObjectName("Panel3");
  chart1_ = new TRequestChart(model_, this);
  chart2_ = new TRampChart(model_, this);
  chart1_->printaction()->setObjectName("PrintGraph1");
  chart1_->copyaction()->setObjectName("CopyGraph1");
  chart2_->printaction()->setObjectName("PrintGraph21");
  chart2_->copyaction()->setObjectName("CopyGraph21");
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(chart1_, 1);
  layout->addWidget(chart2_);
  chart2_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
  chart2_->hide();
}

void TResultCharts::setChart1Title(const QString& title) {
  model_.settitles(title.toStdString(), model_.chart2title());
  chart1_->refresh();
  sharerows();
}

void TResultCharts::setChart2Title(const QString& title) {
  model_.settitles(model_.chart1title(), title.toStdString());
  // Only a ramp result has a ramp chart, whatever the option says now.
  chart2_->setVisible(!title.isEmpty());
  chart2_->update();
  sharerows();
}

QString TResultCharts::chart1Title() const {
  return QString::fromStdString(model_.chart1title());
}

QString TResultCharts::chart2Title() const {
  return QString::fromStdString(model_.chart2title());
}

void TResultCharts::setFootLine(int i, const QString& text) {
  model_.setfoot(i, text.toStdString());
  chart1_->refresh();
  sharerows();
}

QString TResultCharts::footLine(int i) const {
  return i >= 0 && i < int(model_.foot().size()) ? QString::fromStdString(model_.foot()[size_t(i)])
                                                 : QString();
}

void TResultCharts::clear() {
  clearrequests();
  clearramps();
}

void TResultCharts::clearrequests() {
  model_.clearrequests();
  chart1_->refresh();
}

void TResultCharts::clearramps() {
  model_.clearramps();
  chart2_->update();
}

void TResultCharts::addRequestPoints(const std::vector<TChartPoint>& batch) {
  if (batch.empty()) return;
  for (const auto& p : batch)
    model_.addrequest(p.x, p.y, p.statuscode, p.server, p.serverttfb, p.socketcode, p.connect,
                      p.tls);
  chart1_->refresh();
}

void TResultCharts::setRamps(const std::vector<TRampPoint>& ramps,
                             const std::vector<TRampPoint>& waits) {
  model_.clearramps();
  for (const auto& p : ramps) model_.addramp(p.users, p.y, p.label);
  for (const auto& p : waits) model_.addrampwait(p.users, p.y);
  chart2_->update();
  sharerows();
}

int TResultCharts::requestpointcount(int statuscode) const {
  int n = 0;
  for (const auto& p : model_.requests()) n += p.statuscode == statuscode;
  return n;
}

int TResultCharts::requestpointcount() const {
  return int(model_.requests().size());
}

QString TResultCharts::pointlabel(int statuscode) {
  return QString::fromStdString(TChartModel::pointlabel(statuscode));
}

QColor TResultCharts::pointcolour(int statuscode) {
  return qcolour(chartstyle::pointcolour(statuscode));
}

void TResultCharts::sharerows() {
  if (chart2_->isHidden()) return;
  const int total = height(), w = width();
  int h2 = total / 2;
  const TChartMetrics m1 = chart1_->fonts().metrics(), m2 = chart2_->fonts().metrics();
  const int need1 =
      lowestplotted([&](int h) { return layoutrequestchart(model_, w, h, m1).plotted; }, total);
  const int need2 =
      lowestplotted([&](int h) { return layoutrampchart(model_, w, h, m2).plotted; }, total);
  if (need1 + need2 <= total) h2 = std::clamp(h2, need2, total - need1);
  if (chart2_->height() != h2 || chart2_->minimumHeight() != h2) chart2_->setFixedHeight(h2);
}

void TResultCharts::resizeEvent(QResizeEvent* event) {
  sharerows();
  TCaptionPanel::resizeEvent(event);
}
