#pragma once
// TWindowHost connects the load-test engine to the main window's view: the engine reads the
// window's settings at every step and writes into the models; this class shows the chart model on
// the charts in batches and carries the engine's few direct requests (dialogs, buttons, views).
//
// The window runs on the thread that times the requests, so whatever it paints during a run is
// added to the figures it reports. Before a run's start loop every change the window has pending
// is laid out and painted; from then to the run's last completion nothing is, not even the status
// text. The views catch up when the run is over; while the allocation runs the status text
// changes at most every kStatusIntervalMs.

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/EngineHost.h"
#include "engine/LoadEngine.h"
#include "report/StoredResult.h"
#include "results/ChartModel.h"
#include "results/RequestRecords.h"
#include "results/TestReport.h"
#include "stored/ReportInfo.h"

class TWindowView;

class TWindowHost : public QObject, public TEngineHost {
  Q_OBJECT
 public:
  // Wires "Start Test" and "A&bort Test" of form to the engine. form must outlive the host.
  explicit TWindowHost(TWindowView& form, TEventLoop& loop = TEventLoop::Default());
  ~TWindowHost() override;

  // The shortest time between two repaints of the status text during a test.
  static constexpr int kStatusIntervalMs = 50;

  TLoadEngine& engine() { return *engine_; }
  TChartModel& chartmodel() { return chartmodel_; }
  // True from a run's first allocated client to its last completion: the views wait.
  bool holding() const;
  // Brings the status bar (no more often than kStatusIntervalMs) and, unless a run is in
  // progress, the charts and the first-response views up to date now instead of at the next tick.
  void sync();
  // Replaces the modal error box (tests answer it without a user).
  std::function<void(const std::string&)> dialoghook;
  // Replaces the yes/no question of a close during a test; true for yes.
  std::function<bool(const std::string&)> questionhook;
  // What "Save Results..." says when there is nothing to save.
  static constexpr const char* kNothingToSave =
      "There are no results to save yet. Run a test or open results, then save them.";
  // The question asked when the window is closed during a test.
  static constexpr const char* kCloseQuestion =
      "A test is running. Abort it, save the runs that have completed and close the window?";
  // Called when a test has ended (finished, or stopped between runs).
  std::function<void(bool finished)> onended;
  // The address the first-response browser view was last sent to.
  const std::string& browserurl() const { return browserurl_; }

  // "Open Results...": the result stored at path (one of ours, another machine's or a merged
  // one) replaces what the views show, until the next test. False after an error box: the file
  // cannot be read, is of a newer format, or a test is running; the views are left as they were.
  bool openresults(const std::string& path);
  // "Save Results...": the result the views show, finished here or opened, as the command line
  // writes it. False after an error box.
  bool saveresults(const std::string& path);
  // Where the result the views show was opened from; empty for a test run here or none.
  std::string openedpath() const { return opened_ ? opened_->path : std::string(); }

  // TEngineHost
  TestSettings settings() override;
  TRequestOptions requestoptions() override;
  std::vector<std::string> urllines() override;
  void setusersfromfile(bool on) override;
  void errordialog(const std::string& text) override;
  void setstatus(const std::string& text) override;
  void setstartenabled(bool on) override;
  void setresultsvisible(bool on) override;
  void processmessages() override;
  void setsourcetext(const std::string& text) override;
  void setheaderlines(const std::vector<std::string>& lines) override;
  void navigatebrowser(const std::string& url, bool setlabel) override;
  void testended(bool finished) override;
  // Every request of the test is kept, for "Save Results...": one row of the record columns a
  // request (under 64 bytes: its times, status, socket code, byte count, user and URL index), so
  // a run of 20000 users costs about a megabyte. Kept from one test's start to the next's.
  void requestcompleted(const TRequestOutcome& r) override { records_.add(r); }
  void runcompleted(int runindex, int users, long double overallms, bool aborted) override;
  void startloopdone(int runindex, const TStartLoopRecord& loop) override {
    records_.setstartloop(runindex, loop);
  }
  // The warning stays in the status bar while no other text is shown, until the next start.
  void warning(const std::string& text) override {
    warning_ = text;
    setstatus(text);
  }

 private:
  // "Start Test": a test that does not start leaves the shown result, and what can be saved of
  // it, as it was.
  void start();
  // True, after a message box saying so, while a test runs or waits for its next run.
  bool busy();
  // "Save Results...": false, after a message box saying why, when there is nothing to save now.
  bool cansave();
  // The connection phases per run of the result the views show; none when no request had one.
  std::vector<TPhaseRow> phaserows() const;
  // The window's close: refused during a test, unless the user chooses to abort it; the window
  // then closes once the test has ended and written what completed.
  bool mayclose();
  // Lays out and paints now whatever the window has pending, so that nothing is left for the
  // event loop to do while the run's requests are out.
  void flushpaints();
  // "Waiting for run R of N: S s" while the next run waits.
  void showwait();
  // With force the status text is shown now, however recently it last changed.
  void syncstatus(bool force);
  void synccharts();
  // The first-response views as the engine last set them; the browser view navigates only with
  // navigate.
  void syncfirstresponse(bool navigate);

  TWindowView& form_;
  // From a test's start to its end, "Start Test" stays disabled, also between runs.
  bool teston_ = false;
  // The window closes when the test it waits for has ended.
  bool closeatend_ = false;
  // The wait before the next run: since when, and how long.
  QElapsedTimer waitclock_;
  long long waitms_ = 0;
  TChartModel chartmodel_;
  std::unique_ptr<TLoadEngine> engine_;
  QTimer timer_;
  // The status text changes once per user during a launch; the label follows at display rate.
  std::string status_, warning_;
  bool statusdirty_ = false;
  QElapsedTimer statusshown_;
  // What the engine sent to the first-response views while they could not be repainted.
  std::optional<std::string> source_, navigation_, label_;
  std::optional<std::vector<std::string>> headerlines_;
  uint64_t requestgen_ = ~0ull, rampgen_ = ~0ull, textrev_ = ~0ull;
  size_t requestsshown_ = 0, rampsshown_ = 0, rampwaitsshown_ = 0;
  std::string browserurl_;
  // The test run here that the views show (whole once testended(true) set tested_), or the
  // result they show instead.
  TReportInfo info_;
  TRequestRecords records_;
  bool tested_ = false;
  std::optional<TStoredResult> opened_;
};
