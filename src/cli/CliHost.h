#pragma once
// TCliHost: the engine's host without a window. Settings come from the command line, dialogs go to
// stderr, and the loop stops when the test is over.

#include <string>
#include <vector>

#include "engine/EngineHost.h"
#include "net/EventLoop.h"
#include "results/RequestRecords.h"

class TCliHost : public TEngineHost {
 public:
  TCliHost(TEventLoop& loop, TestSettings settings, std::vector<std::string> urls)
      : loop_(loop), settings_(std::move(settings)), urls_(std::move(urls)) {}

  TestSettings settings() override { return settings_; }
  TRequestOptions requestoptions() override {
    return {settings_.writeheaders, settings_.writedata, settings_.onerroronly,
            settings_.preservecookies};
  }
  bool haswindow() const override { return false; }
  std::vector<std::string> urllines() override { return urls_; }
  void setusersfromfile(bool on) override { settings_.usersfromfile = on; }
  void errordialog(const std::string& text) override;
  void setstatus(const std::string&) override {}
  void setstartenabled(bool) override {}
  void setresultsvisible(bool) override {}
  void processmessages() override {}
  void setsourcetext(const std::string&) override {}
  void setheaderlines(const std::vector<std::string>&) override {}
  void navigatebrowser(const std::string&, bool) override {}
  void testended(bool finished) override;
  void requestcompleted(const TRequestOutcome& r) override {
    if (keeprecords_) records_.add(r);
  }
  void runcompleted(int runindex, int users, long double overallms, bool aborted) override;
  void startloopdone(int runindex, const TStartLoopRecord& loop) override {
    if (keeprecords_) records_.setstartloop(runindex, loop);
  }
  void warning(const std::string& text) override;

  // Off: no record of the single requests is kept (no output asks for them).
  void keeprecords(bool on) { keeprecords_ = on; }
  // On: a line on stderr at the end of each run that completed, for a log or a script that
  // watches the test (a terminal has the progress line instead).
  void reportruns(bool on) { reportruns_ = on; }
  bool ended() const { return ended_; }
  bool finished() const { return finished_; }
  int errors() const { return errors_; }
  const TRequestRecords& records() const { return records_; }

 private:
  TEventLoop& loop_;
  TestSettings settings_;
  std::vector<std::string> urls_;
  bool keeprecords_ = true;
  bool reportruns_ = false;
  bool ended_ = false;
  bool finished_ = false;
  int errors_ = 0;
  TRequestRecords records_;
};
