#include "gui/WindowHost.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>

#include "browser/FirstResponseView.h"
#include "gui/Charts.h"
#include "gui/HttpAsy1.h"

TWindowHost::TWindowHost(THttpAsyForm& form, TEventLoop& loop) : form_(form) {
  engine_ = std::make_unique<TLoadEngine>(*this, form_.logmodel(), chartmodel_, loop);
  form_.onstart = [this] { engine_->ExecButtonClick(); };
  form_.onabort = [this] { engine_->AbortButtonClick(); };
  connect(&timer_, &QTimer::timeout, this, &TWindowHost::sync);
  timer_.start(100);
}

TWindowHost::~TWindowHost() {
  form_.onstart = nullptr;
  form_.onabort = nullptr;
}

void TWindowHost::sync() {
  syncstatus();
  synccharts();
}

void TWindowHost::syncstatus() {
  if (!statusdirty_) return;
  statusdirty_ = false;
  form_.setstatustext(QString::fromStdString(status_));
}

void TWindowHost::synccharts() {
  TResultCharts* charts = form_.charts();
  const TChartModel& m = chartmodel_;
  if (m.textrevision() != textrev_) {
    textrev_ = m.textrevision();
    charts->setChart1Title(QString::fromStdString(m.chart1title()));
    charts->setChart2Title(QString::fromStdString(m.chart2title()));
    for (int i = 0; i < 4; ++i) {
      charts->setFootLine(i, QString::fromStdString(m.foot()[static_cast<size_t>(i)]));
    }
  }
  if (m.requestgeneration() != requestgen_) {
    requestgen_ = m.requestgeneration();
    requestsshown_ = 0;
    charts->clearrequests();
  }
  if (requestsshown_ < m.requests().size()) {
    charts->addRequestPoints(std::vector<TChartPoint>(
        m.requests().begin() + static_cast<std::ptrdiff_t>(requestsshown_), m.requests().end()));
    requestsshown_ = m.requests().size();
  }
  // A ramp test has a handful of steps: the series are copied whole when they change.
  if (m.rampgeneration() != rampgen_ || rampsshown_ != m.ramps().size() ||
      rampwaitsshown_ != m.rampwaits().size()) {
    rampgen_ = m.rampgeneration();
    rampsshown_ = m.ramps().size();
    rampwaitsshown_ = m.rampwaits().size();
    charts->setRamps(m.ramps(), m.rampwaits());
  }
}

TestSettings TWindowHost::settings() {
  return form_.currentsettings();
}

TRequestOptions TWindowHost::requestoptions() {
  return {form_.HeaderCheckBox->isChecked(), form_.DataCheckBox->isChecked(),
          form_.onerroronlyCheckBox->isChecked(), form_.Checkcookie->isChecked()};
}

std::vector<std::string> TWindowHost::urllines() {
  return form_.urllines();
}

void TWindowHost::setusersfromfile(bool on) {
  form_.setusersfromfile(on);
}

void TWindowHost::errordialog(const std::string& text) {
  if (dialoghook) {
    dialoghook(text);
    return;
  }
  QMessageBox::critical(&form_, QApplication::applicationName(), QString::fromStdString(text),
                        QMessageBox::Ok);
}

void TWindowHost::setstatus(const std::string& text) {
  status_ = text;
  statusdirty_ = true;
}

void TWindowHost::setstartenabled(bool on) {
  form_.execbutton()->setEnabled(on);
}

void TWindowHost::setresultsvisible(bool on) {
  form_.setresultsvisible(on);
}

void TWindowHost::processmessages() {
  syncstatus();
  QCoreApplication::processEvents();
}

void TWindowHost::setsourcetext(const std::string& text) {
  form_.sourceview()->setPlainText(QString::fromStdString(text));
}

void TWindowHost::setheaderlines(const std::vector<std::string>& lines) {
  QStringList list;
  for (const auto& l : lines) list << QString::fromStdString(l);
  form_.headersview()->setPlainText(list.join('\n'));
}

void TWindowHost::navigatebrowser(const std::string& url, bool setlabel) {
  browserurl_ = url;
  if (setlabel && form_.label3 != nullptr) form_.label3->setText(QString::fromStdString(url));
  // Showing the tab later opens temp.htm where this test wrote it.
  if (!engine_->resultdir().empty())
    form_.WebBrowser_V11->setfolder(QString::fromStdString(engine_->resultdir()));
  form_.WebBrowser_V11->Navigate(QString::fromStdString(url));
}

void TWindowHost::testended(bool finished) {
  form_.synclogviews();
  sync();
  if (onended) onended(finished);
}
