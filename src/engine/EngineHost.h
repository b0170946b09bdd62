#pragma once
// TEngineHost: what the load-test engine needs from the program that hosts it. The window is one
// host, the command line the other; everything else the engine writes goes into the log and chart
// models.

#include <string>
#include <vector>

#include "engine/TestSettings.h"
#include "results/RequestRecords.h"

// The options the engine consults for every request and every header line.
struct TRequestOptions {
  bool writeheaders = false;
  bool writedata = false;
  bool onerroronly = false;
  bool preservecookies = false;
};

class TEngineHost {
 public:
  virtual ~TEngineHost() = default;

  // A fresh snapshot of the settings, read from the controls now (never a copy taken at start).
  virtual TestSettings settings() = 0;
  // Just as fresh as settings(), but only what each request and header line needs: a whole
  // snapshot copies every text of the form, many times per request.
  virtual TRequestOptions requestoptions() {
    const TestSettings s = settings();
    return {s.writeheaders, s.writedata, s.onerroronly, s.preservecookies};
  }
  // False for a host without a window: there is no status bar to show the per-request progress
  // texts, and no "Log" view to keep lines for, so the engine streams its lines to the detailed
  // log file only instead of keeping every line in memory as well.
  virtual bool haswindow() const { return true; }
  // The lines of the multiple-URL list, empty lines included.
  virtual std::vector<std::string> urllines() = 0;
  // users.txt was not found: the option is switched off, visibly, for this and later runs.
  virtual void setusersfromfile(bool on) = 0;
  // A modal error message with an OK button.
  virtual void errordialog(const std::string& text) = 0;
  // The first panel of the status bar.
  virtual void setstatus(const std::string& text) = 0;
  // Enables or disables "Start Test".
  virtual void setstartenabled(bool on) = 0;
  // Shows or hides the request chart and the result tabs (hidden during an exact-timing test).
  virtual void setresultsvisible(bool on) = 0;
  // Processes pending window events once (repaint, a click on Abort).
  virtual void processmessages() = 0;
  // The first-response views: the source text ("Source (1st Req.)") and the received header lines
  // ("Rcvd Headers (1st Req.)").
  virtual void setsourcetext(const std::string& text) = 0;
  virtual void setheaderlines(const std::vector<std::string>& lines) = 0;
  // The first-response browser view navigates to url; with setlabel, the hidden URL field takes it.
  virtual void navigatebrowser(const std::string& url, bool setlabel) = 0;
  // The test is over: finished (log files written) or stopped while waiting for its next run.
  virtual void testended(bool finished) = 0;
  // A request has completed (after its log line, chart point and tally entry). For hosts that
  // keep per-request records; the default keeps nothing.
  virtual void requestcompleted(const TRequestOutcome&) {}
  // Every request of run runindex has been started: the start loop its "Created ..." line tells.
  virtual void startloopdone(int /*runindex*/, const TStartLoopRecord& /*loop*/) {}
  // A warning at the start of a test that the log holds too: the command line writes it to
  // stderr, the window shows it in its status bar.
  virtual void warning(const std::string& /*text*/) {}
  // The last request of run runindex has completed; overallms is the run's overall time.
  virtual void runcompleted(int /*runindex*/, int /*users*/, long double /*overallms*/,
                            bool /*aborted*/) {}
};
