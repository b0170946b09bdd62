#include "gui/WindowHost.h"

#include <QApplication>
#include <QMessageBox>

#include "gui/ResultCharts.h"
#include "gui/WindowView.h"

TWindowHost::TWindowHost(TWindowView& form, TEventLoop& loop) : form_(form) {
  engine_ = std::make_unique<TLoadEngine>(*this, form_.logmodel(), chartmodel_, loop);
  // An aborted test keeps the runs that completed, in the views and the log files, and says it
  // was aborted, wherever the Abort came: during a run or in the wait before the next.
  engine_->setabortfinishes(true);
  form_.onstart = [this] {
    if (!form_.logfolder().isEmpty()) engine_->setoutputdir(form_.logfolder().toStdString());
    engine_->ExecButtonClick();
  };
  form_.onabort = [this] { engine_->AbortButtonClick(); };
  form_.holdlogviews([this] { return holding(); });
  connect(&timer_, &QTimer::timeout, this, &TWindowHost::sync);
  timer_.start(100);
}

TWindowHost::~TWindowHost() {
  form_.onstart = nullptr;
  form_.onabort = nullptr;
  form_.holdlogviews(nullptr);
}

bool TWindowHost::holding() const {
  return engine_->phase() == TLoadEngine::TPhase::running;
}

void TWindowHost::sync() {
  syncstatus(false);
  if (holding()) return;
  synccharts();
  syncfirstresponse(true);
}

void TWindowHost::syncstatus(bool force) {
  if (!statusdirty_) return;
  // The engine changes the text for every tenth user; the label follows at display rate, and the
  // host's timer shows the last text.
  if (!force && statusshown_.isValid() && statusshown_.elapsed() < kStatusIntervalMs) return;
  statusdirty_ = false;
  statusshown_.start();
  form_.setstatustext(QString::fromStdString(status_));
}

void TWindowHost::syncfirstresponse(bool navigate) {
  if (source_) form_.setsourcetext(QString::fromStdString(*source_));
  if (headerlines_) {
    QStringList list;
    for (const auto& l : *headerlines_) list << QString::fromStdString(l);
    form_.setheadertext(list.join('\n'));
  }
  if (label_) form_.setbrowserlabel(QString::fromStdString(*label_));
  // Showing the tab later opens temp.htm where this test wrote it.
  if (navigation_ && navigate)
    form_.navigatebrowser(QString::fromStdString(engine_->resultdir()),
                          QString::fromStdString(*navigation_));
  source_.reset();
  headerlines_.reset();
  label_.reset();
  if (navigate) navigation_.reset();
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
  return form_.requestoptions();
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
  QMessageBox::critical(form_.dialogparent(), QApplication::applicationName(),
                        QString::fromStdString(text), QMessageBox::Ok);
}

void TWindowHost::setstatus(const std::string& text) {
  status_ = text;
  statusdirty_ = true;
}

void TWindowHost::setstartenabled(bool on) {
  form_.setstartenabled(on);
}

void TWindowHost::setresultsvisible(bool on) {
  form_.setresultsvisible(on);
}

void TWindowHost::processmessages() {
  // The test start processes messages once before run 1: the views show the new test's header
  // and empty charts then, not the previous test's results, while the run is timed.
  if (!holding()) {
    form_.synclogviews();
    synccharts();
    // A navigation would keep the browser's threads busy and repaint its view during the run.
    syncfirstresponse(false);
  }
  syncstatus(false);
  QCoreApplication::processEvents();
}

// The first-response views change at the start of a test and at its first completion, both
// inside or next to a run: they are shown at the host's next tick outside a run.
void TWindowHost::setsourcetext(const std::string& text) {
  source_ = text;
}

void TWindowHost::setheaderlines(const std::vector<std::string>& lines) {
  headerlines_ = lines;
}

void TWindowHost::navigatebrowser(const std::string& url, bool setlabel) {
  browserurl_ = url;
  if (setlabel) label_ = url;
  navigation_ = url;
}

void TWindowHost::testended(bool finished) {
  form_.catchuplogviews();
  syncstatus(true);
  synccharts();
  syncfirstresponse(true);
  if (onended) onended(finished);
}
