#pragma once
// Runs the load-test engine in this process against pressbolt-target, with a host that records
// what a window would show, and compares the engine's lines with their time stamps and measured
// milliseconds masked.

#include <gtest/gtest.h>
#include <unistd.h>

#include <functional>
#include <regex>
#include <string>
#include <vector>

#include "engine/LoadEngine.h"
#include "support/TargetServer.h"
#include "support/TestSupport.h"

class TTestHost : public TEngineHost {
 public:
  TestSettings s;
  std::vector<std::string> urls;
  std::vector<std::string> dialogs, statuses, headerlines, navigations;
  std::string sourcetext;
  bool startenabled = true, resultsvisible = true;
  bool ended = false, finished = false;
  int endedcount = 0;
  std::function<void()> onprocessmessages;  // a "click" at a message-processing point
  std::function<void()> onrunend;           // Start enabled again: a run has completed
  std::function<void()> onrequest;          // a request has completed and is being counted
  std::function<void()> onstartloop;        // every request of a run is out, none answered yet
  int optionreads = 0;                      // requestoptions() calls

  TestSettings settings() override { return s; }
  TRequestOptions requestoptions() override {
    ++optionreads;
    return TEngineHost::requestoptions();
  }
  void startloopdone(int, const TStartLoopRecord&) override {
    if (onstartloop) onstartloop();
  }
  std::vector<std::string> urllines() override { return urls; }
  void setusersfromfile(bool on) override { s.usersfromfile = on; }
  void errordialog(const std::string& text) override { dialogs.push_back(text); }
  void setstatus(const std::string& text) override { statuses.push_back(text); }
  void setstartenabled(bool on) override {
    startenabled = on;
    if (on && onrunend) onrunend();
  }
  void setresultsvisible(bool on) override { resultsvisible = on; }
  void processmessages() override {
    if (onprocessmessages) onprocessmessages();
  }
  void setsourcetext(const std::string& text) override { sourcetext = text; }
  void setheaderlines(const std::vector<std::string>& lines) override { headerlines = lines; }
  void navigatebrowser(const std::string& url, bool) override { navigations.push_back(url); }
  void requestcompleted(const TRequestOutcome& r) override {
    runs.resize(size_t(r.run) + 1);
    runs[size_t(r.run)].push_back(r.wait);
    resumed.resize(runs.size());
    resumed[size_t(r.run)].push_back(r.tlsresumed);
    if (onrequest) onrequest();
  }
  void warning(const std::string& text) override { warnings.push_back(text); }
  // Each run's wait times in completion order, and the warnings of the start.
  std::vector<std::vector<long double>> runs;
  std::vector<std::vector<bool>> resumed;  // per run: whether each TLS handshake resumed
  std::vector<std::string> warnings;
  void testended(bool f) override {
    ended = true;
    finished = f;
    ++endedcount;
  }
};

class EngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    olddir_ = getcwd(nullptr, 0);
    ASSERT_EQ(chdir(dir.path().c_str()), 0);  // cookies.txt and users.txt live in the working dir
    TLogModel::settimestampsource([] { return std::string("TS"); });
    engine.setoutputdir(dir.path());
    host.s.users = 1;
    host.s.exacttiming = true;
  }
  void TearDown() override {
    TLogModel::settimestampsource(nullptr);
    if (olddir_ != nullptr) {
      EXPECT_EQ(chdir(olddir_), 0);
      free(olddir_);
    }
  }

  // Starts the test and runs the loop until it has ended (or nothing is left to wait for).
  void runtest() {
    engine.start();
    while (!host.ended && TEventLoop::Default().RunOnce(true)) {
    }
  }

  // Log lines with the measured values masked as "#" and the test directory as "<dir>".
  std::vector<std::string> maskedlog() const { return masked(logs.loglines()); }
  std::vector<std::string> maskedresults() const {
    std::vector<std::string> lines;
    for (const auto& l : logs.resultlines()) lines.push_back(l.text);
    return masked(lines);
  }
  std::vector<std::string> masked(const std::vector<std::string>& lines) const {
    static const std::vector<std::pair<std::regex, std::string>> rules = {
        {std::regex("(Done|Redirect): \\d+ ms"), "$1: # ms"},
        {std::regex("~\\d+"), "~#"},
        {std::regex("(Time|Times|runs|users): -?\\d+ msec"), "$1: # msec"},
        {std::regex("requests in [0-9.,]+ms"), "requests in #ms"},
        {std::regex("Client system: .*"), "Client system: #"},
        {std::regex("Test run on .*"), "Test run on #"},
    };
    std::vector<std::string> out;
    for (std::string line : lines) {
      for (const auto& [re, with] : rules) line = std::regex_replace(line, re, with);
      size_t at;
      while ((at = line.find(dir.path() + "/")) != std::string::npos) {
        line.replace(at, dir.path().size() + 1, "<dir>/");
      }
      out.push_back(line);
    }
    return out;
  }
  // Lines of the detailed log that start with prefix (after "TS: ").
  std::vector<std::string> logwith(const std::string& prefix) const {
    std::vector<std::string> out;
    for (const auto& l : maskedlog()) {
      if (l.rfind("TS: " + prefix, 0) == 0) out.push_back(l.substr(4));
    }
    return out;
  }
  bool haslog(const std::string& line) const {
    for (const auto& l : maskedlog()) {
      if (l == "TS: " + line) return true;
    }
    return false;
  }

  TTargetServer target;
  TTempDir dir;
  TTestHost host;
  TLogModel logs;
  TChartModel charts;
  TLoadEngine engine{host, logs, charts};

 private:
  char* olddir_ = nullptr;
};
