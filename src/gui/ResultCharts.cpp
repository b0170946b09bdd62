#include "gui/ResultCharts.h"

#include <QVBoxLayout>

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
}

void TResultCharts::setChart2Title(const QString& title) {
  model_.settitles(model_.chart1title(), title.toStdString());
  chart2_->update();
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
  for (const auto& p : batch) model_.addrequest(p.x, p.y, p.statuscode, p.server, p.serverttfb);
  chart1_->refresh();
}

void TResultCharts::setRamps(const std::vector<TRampPoint>& ramps,
                             const std::vector<TRampPoint>& waits) {
  model_.clearramps();
  for (const auto& p : ramps) model_.addramp(p.users, p.y, p.label);
  for (const auto& p : waits) model_.addrampwait(p.users, p.y);
  chart2_->update();
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

void TResultCharts::resizeEvent(QResizeEvent* event) {
  chart2_->setFixedHeight(height() / 2);
  TCaptionPanel::resizeEvent(event);
}
