#include "gui/WindowHost.h"

#include <QApplication>
#include <QMessageBox>
#include <QWidget>
#include <algorithm>

#include "gui/ResultCharts.h"
#include "gui/WindowView.h"
#include "report/JsonReport.h"
#include "report/OutputFile.h"
#include "report/ResultViews.h"
#include "report/RunFigures.h"
#include "report/TestInfo.h"

TWindowHost::TWindowHost(TWindowView& form, TEventLoop& loop) : form_(form) {
  engine_ = std::make_unique<TLoadEngine>(*this, form_.logmodel(), chartmodel_, loop);
  // An aborted test keeps the runs that completed, in the views and the log files, and says it
  // was aborted, wherever the Abort came: during a run or in the wait before the next.
  engine_->setabortfinishes(true);
  form_.onstart = [this] {
    if (!form_.outputdir().isEmpty()) engine_->setoutputdir(form_.outputdir().toStdString());
    start();
  };
  form_.onabort = [this] { engine_->abort(); };
  form_.onoptionschanged = [this] { engine_->optionschanged(); };
  form_.onopenresults = [this](const QString& path) { openresults(path.toStdString()); };
  form_.onsaveresults = [this](const QString& path) { saveresults(path.toStdString()); };
  form_.oncansave = [this] { return cansave(); };
  form_.onphases = [this] { return phaserows(); };
  form_.onclose = [this] { return mayclose(); };
  form_.holdlogviews([this] { return holding(); });
  connect(&timer_, &QTimer::timeout, this, &TWindowHost::sync);
  timer_.start(100);
}

TWindowHost::~TWindowHost() {
  form_.onstart = nullptr;
  form_.onabort = nullptr;
  form_.onoptionschanged = nullptr;
  form_.onopenresults = nullptr;
  form_.onsaveresults = nullptr;
  form_.oncansave = nullptr;
  form_.onphases = nullptr;
  form_.onclose = nullptr;
  form_.holdlogviews(nullptr);
}

void TWindowHost::start() {
  const uint64_t shown = form_.logmodel().resultgeneration();
  TReportInfo info = starttestinfo(settings(), urllines());
  info.program = "pressbolt";
  TRequestRecords records;
  std::swap(records, records_);
  warning_.clear();
  teston_ = true;
  engine_->start();
  // A test refused, or over already, leaves "Start Test" as it was.
  teston_ = engine_->phase() != TLoadEngine::TPhase::idle;
  if (form_.logmodel().resultgeneration() == shown) {
    // Refused before the views were cleared: they still show the last result.
    records_ = std::move(records);
    return;
  }
  teststarted(info, engine_->facts());
  info_ = std::move(info);
  tested_ = false;
  if (opened_) {
    opened_.reset();
    form_.setopenedresult(QString());
  }
}

void TWindowHost::runcompleted(int runindex, int users, long double overallms, bool aborted) {
  records_.endrun(runindex, users, overallms, aborted);
  // The engine waits this long for the next run, if there is one.
  waitclock_.start();
  waitms_ = static_cast<long long>(settings().waitperrun) * 1000;
}

void TWindowHost::showwait() {
  if (engine_->phase() != TLoadEngine::TPhase::waiting || !waitclock_.isValid()) return;
  const long long left = std::max(0LL, waitms_ - waitclock_.elapsed());
  setstatus("Waiting for run " + std::to_string(engine_->runindex + 1) + " of " +
            std::to_string(settings().runs) + ": " + std::to_string((left + 999) / 1000) + " s");
}

bool TWindowHost::mayclose() {
  if (engine_->phase() == TLoadEngine::TPhase::idle) return true;
  if (closeatend_) return false;  // asked already: the test is ending
  const bool yes =
      questionhook ? questionhook(kCloseQuestion)
                   : QMessageBox::question(form_.dialogparent(), QApplication::applicationName(),
                                           kCloseQuestion) == QMessageBox::Yes;
  if (!yes) return false;
  // The test may have ended while the question was open.
  if (engine_->phase() == TLoadEngine::TPhase::idle) return true;
  // The test's end closes the window: at once for an Abort between runs, after the outstanding
  // requests have completed for one during a run.
  closeatend_ = true;
  engine_->abort();
  return false;
}

bool TWindowHost::cansave() {
  if (busy()) return false;
  if (opened_ || tested_) return true;
  errordialog(kNothingToSave);
  return false;
}

std::vector<TPhaseRow> TWindowHost::phaserows() const {
  const TTestFigures figures = opened_ ? opened_->figures : testfigures(records_);
  std::vector<TPhaseRow> rows;
  if (figures.totals.connect.count == 0 && figures.totals.tls.count == 0) return rows;
  for (const TRunFigures& f : figures.runs)
    rows.push_back(
        {"Run " + std::to_string(f.run) + (f.aborted ? " (aborted)" : ""), f.connect, f.tls});
  if (figures.runs.size() > 1) rows.push_back({"All", figures.totals.connect, figures.totals.tls});
  return rows;
}

bool TWindowHost::busy() {
  if (engine_->phase() == TLoadEngine::TPhase::idle) return false;
  errordialog("A test is running. Open or save results when it has ended.");
  return true;
}

bool TWindowHost::openresults(const std::string& path) {
  if (busy()) return false;
  TStoredResult result;
  std::string error;
  if (!readstoredresult(path, result, error)) {
    errordialog("The results cannot be opened: " + error);
    return false;
  }
  showstoredresult(result, form_.logmodel(), chartmodel_);
  // The first-response views belong to the test run here, not to the opened result.
  source_ = std::string();
  headerlines_ = std::vector<std::string>();
  opened_ = std::move(result);
  form_.setresultsvisible(true);
  form_.setopenedresult(QString::fromStdString(opened_->path));
  form_.synclogviews();
  form_.showlogviewsfromtop();
  synccharts();
  syncfirstresponse(false);
  return true;
}

bool TWindowHost::saveresults(const std::string& path) {
  if (busy()) return false;
  std::string json;
  if (opened_) {
    TReportInfo info = opened_->info;
    info.program = "pressbolt";  // the file says who wrote it, not who ran the test
    json = jsonreport(info, opened_->records, opened_->figures);
  } else if (tested_) {
    json = jsonreport(info_, records_, testfigures(records_));
  } else {
    errordialog(kNothingToSave);
    return false;
  }
  std::string error;
  if (!writeoutput(path, json, error)) {
    errordialog("The results could not be saved: " + error);
    return false;
  }
  form_.setstatustext("Results saved to " + QString::fromStdString(path));
  return true;
}

bool TWindowHost::holding() const {
  return engine_->phase() == TLoadEngine::TPhase::running;
}

void TWindowHost::sync() {
  if (holding()) return;
  showwait();
  syncstatus(false);
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
  status_ = text.empty() ? warning_ : text;
  statusdirty_ = true;
}

void TWindowHost::setstartenabled(bool on) {
  form_.setstartenabled(on && !teston_);
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
    syncstatus(false);
    QCoreApplication::processEvents();
    return;
  }
  // During the allocation (every tenth user) and last before the run's start loop: whatever is
  // left to lay out and paint is done now, so that none of it runs while requests are out.
  syncstatus(false);
  QCoreApplication::processEvents();
  flushpaints();
}

void TWindowHost::flushpaints() {
  // A layout posts its request, and what it moves posts repaints: each round of posted events
  // may leave another for the next pass of the event loop, which would come during the run.
  for (int round = 0; round < 3; ++round) QCoreApplication::sendPostedEvents();
  // The repaints themselves wait for the window's next update, a few milliseconds later.
  for (QWidget* w : QApplication::topLevelWidgets()) {
    if (!w->isVisible()) continue;
    QEvent update(QEvent::UpdateRequest);
    QCoreApplication::sendEvent(w, &update);
  }
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
  teston_ = false;
  waitclock_.invalidate();
  form_.setstartenabled(true);
  // A test stopped before its finish wrote no log files: nor is it saved as a result.
  tested_ = finished;
  if (finished) endtestinfo(info_, engine_->facts());
  form_.catchuplogviews();
  syncstatus(true);
  synccharts();
  syncfirstresponse(true);
  if (onended) onended(finished);
  if (closeatend_) {
    closeatend_ = false;
    form_.closelater();
  }
}
