#pragma once
// TWindowView: the main window as the engine's host sees it. The host reads the settings, drives
// the status line, the log views, the charts and the first-response views, and answers "Start
// Test" and "A&bort Test"; the controls themselves stay the window's own.

#include <QString>
#include <functional>
#include <string>
#include <vector>

#include "engine/EngineHost.h"
#include "engine/TestSettings.h"
#include "results/LogModel.h"
#include "results/TestReport.h"

class QWidget;
class TResultCharts;

class TWindowView {
 public:
  virtual ~TWindowView() = default;

  // Settings: a fresh snapshot of every setting control; the few options read at every
  // completion, without copying the rest; the lines of the multiple-URL list (empty lines
  // count); the "Use data from users.txt" option (its handler runs).
  virtual TestSettings currentsettings() const = 0;
  virtual TRequestOptions requestoptions() const = 0;
  virtual std::vector<std::string> urllines() const = 0;
  virtual void setusersfromfile(bool on) = 0;
  // The folder the user chose for the log files and temp.htm; empty for the default.
  virtual const QString& outputdir() const = 0;

  // The "Log" and "Results" views follow this model.
  virtual TLogModel& logmodel() = 0;
  // Brings the log views up to date now instead of at the next timer tick.
  virtual void synclogviews() = 0;
  // Brings the log views up to date in batches, a pass of the event loop each: the window stays
  // responsive while a long log is shown.
  virtual void catchuplogviews() = 0;
  // While hold() is true the log views are not brought up to date on their own (a run is being
  // timed); nullptr lets them follow the log again.
  virtual void holdlogviews(std::function<bool()> hold) = 0;

  // First panel of the status bar.
  virtual void setstatustext(const QString& text) = 0;
  // "Start Test" enabled or not: disabled while a test runs.
  virtual void setstartenabled(bool on) = 0;
  // Called by "Start Test" (after the typed entries are finished) and "A&bort Test" when set.
  std::function<void()> onstart, onabort;
  // Called when one of the options of requestoptions() changes, when set.
  std::function<void()> onoptionschanged;
  // Called with the file chosen in "Open Results…" and "Save Results…" when set.
  std::function<void(const QString&path)> onopenresults, onsaveresults;
  // Asked before "Save Results…" asks for a file, when set: false after a message saying why
  // nothing can be saved now.
  std::function<bool()> oncansave;
  // The connection phases of each run of the result the views show, for the printed report, when
  // set.
  std::function<std::vector<TPhaseRow>()> onphases;
  // Asked when the window is about to close, when set: false keeps it open (a test is running;
  // the host closes it itself once the test has ended, if the user wished so).
  std::function<bool()> onclose;
  // Puts both log views at their first line, as an opened result is read from its start.
  virtual void showlogviewsfromtop() = 0;
  // Closes the window as the user's close would, once the event loop is free.
  virtual void closelater() = 0;
  // The views show a result opened from path, marked as such in the status bar and the printed
  // report (its ramp chart shows as any ramp result's does). An empty path: the views show a
  // test run here again.
  virtual void setopenedresult(const QString& path) = 0;

  virtual TResultCharts* charts() const = 0;
  // Shows or hides Chart1 and the result tabs.
  virtual void setresultsvisible(bool visible) = 0;

  // The first response: its source, its header lines, the address shown above the browser view,
  // and the browser view sent to url (temp.htm is looked for in folder; empty keeps the folder).
  virtual void setsourcetext(const QString& text) = 0;
  virtual void setheadertext(const QString& text) = 0;
  virtual void setbrowserlabel(const QString& text) = 0;
  virtual void navigatebrowser(const QString& folder, const QString& url) = 0;

  // The parent of the host's message boxes.
  virtual QWidget* dialogparent() = 0;
};
