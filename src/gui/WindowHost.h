#pragma once
// TWindowHost connects the load-test engine to the main window: the engine reads the window's
// controls at every step and writes into the models; this class shows the chart model on the
// charts in batches and carries the engine's few direct requests (dialogs, buttons, views).

#include <QObject>
#include <QTimer>

#include <functional>
#include <memory>

#include "engine/EngineHost.h"
#include "engine/LoadEngine.h"
#include "results/ChartModel.h"

class THttpAsyForm;

class TWindowHost : public QObject, public TEngineHost {
  Q_OBJECT
 public:
  // Wires "Start Test" and "A&bort Test" of form to the engine. form must outlive the host.
  explicit TWindowHost(THttpAsyForm& form, TEventLoop& loop = TEventLoop::Default());
  ~TWindowHost() override;

  TLoadEngine& engine() { return *engine_; }
  TChartModel& chartmodel() { return chartmodel_; }
  // Brings the charts and the status bar up to date now instead of at the next tick.
  void sync();
  // Replaces the modal error box (tests answer it without a user).
  std::function<void(const std::string&)> dialoghook;
  // Called when a test has ended (finished, or stopped between runs).
  std::function<void(bool finished)> onended;
  // The address the first-response browser view was last sent to.
  const std::string& browserurl() const { return browserurl_; }

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

 private:
  void syncstatus();
  void synccharts();

  THttpAsyForm& form_;
  TChartModel chartmodel_;
  std::unique_ptr<TLoadEngine> engine_;
  QTimer timer_;
  // The status text changes once per user during a launch; the label follows at display rate.
  std::string status_;
  bool statusdirty_ = false;
  uint64_t requestgen_ = ~0ull, rampgen_ = ~0ull, textrev_ = ~0ull;
  size_t requestsshown_ = 0, rampsshown_ = 0, rampwaitsshown_ = 0;
  std::string browserurl_;
};
