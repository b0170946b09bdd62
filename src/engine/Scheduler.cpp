// Run scheduling, the finish of a test, Abort, and the first-request views.

#include "common/OutputText.h"
#include "engine/LoadEngine.h"
#include "results/Clock.h"
#include "results/LogFile.h"

TLoadEngine::TLoadEngine(TEngineHost& host, TLogModel& logs, TChartModel& charts, TEventLoop& loop)
    : host_(host), logs_(logs), charts_(charts), loop_(loop), Timer1(loop), notices_(loop) {}

TLoadEngine::~TLoadEngine() {
  releaseclients();
}

TLoadEngine::TPhase TLoadEngine::phase() const {
  if (clientsleft > 0) return TPhase::running;
  if (Timer1.Active()) return TPhase::waiting;
  return TPhase::idle;
}

void TLoadEngine::endofrun() {
  TestSettings s = host_.settings();
  if (runindex + 1 < s.runs) {
    ++runindex;
    const uint64_t ms =
        rundelay_ ? rundelay_(runindex) : static_cast<uint64_t>(s.waitperrun) * 1000 + 5;
    Timer1.Start(ms, [this] { Timer1Timer(); });
    return;
  }
  finish();
}

void TLoadEngine::Timer1Timer() {
  runbytes = 0;
  Timer1.Stop();
  runstart = elapsedms();
  host_.setstartenabled(false);
  log("");
  log("START RUN: " + std::to_string(runindex + 1));
  logs_.logdatanocr("");
  logs_.logdatared("Results of run " + std::to_string(runindex + 1));
  launchrun();
}

void TLoadEngine::abort() {
  host_.setresultsvisible(true);
  aborted = true;
  runindex = host_.settings().runs;
  bool waiting = Timer1.Active();
  Timer1.Stop();
  // Abort never completes a request inside the call, so the list does not change during the walk.
  for (auto* c : clients) {
    if (c != nullptr) c->Abort();
  }
  if (waiting && testactive_) {
    if (abortfinishes_) {
      finish();
      return;
    }
    // Stopped between runs: nothing is outstanding, so the test ends here without its finish.
    testactive_ = false;
    host_.testended(false);
  }
}

void TLoadEngine::finish(bool sayaborted) {
  testactive_ = false;
  closecookiecache();
  host_.setresultsvisible(true);
  if (aborted && (abortfinishes_ || sayaborted)) {
    log("Test aborted");
    logs_.logdatanocr("");
    logs_.logdatared("Test aborted");
  }
  logs_.logdatanocr("");
  logs_.logdatanocr("");
  logs_.logdatared("Glossary:");
  for (const char* line : kGlossary) logs_.logdatanocr(line);

  const std::string results = resultdir_ + resultsfilename;
  const std::string detailed = resultdir_ + detailedfilename;
  log("Saving log to \"" + results + "\"");
  log("Saving detailed log to \"" + detailed + "\"");
  std::string error;
  // One file that cannot be written must not cost the other.
  if (!saveresults(results, logs_.resultlines(), error)) {
    savefailed = true;
    log(error);
    host_.errordialog(error);
  }
  logs_.setsink(nullptr);
  bool saved = detailedlog_.isopen() ? detailedlog_.commit(error)
                                     : savelines(detailed, logs_.loglines(), error);
  if (!saved) {
    savefailed = true;
    log(error);
    host_.errordialog(error);
  }
  host_.navigatebrowser("file://" + firstresponsepath(), false);
  host_.testended(true);
}

void TLoadEngine::dropdetailedlog() {
  logs_.setsink(nullptr);
  detailedlog_.discard();
}

void TLoadEngine::showfirstrequest() {
  const std::string path = firstresponsepath();
  host_.navigatebrowser("file://" + path, true);
  showsource(path);
}

void TLoadEngine::showsource(const std::string& path) {
  // The view was built as the response arrived: a body of any size is never read back.
  if (!firstsource_) {
    log("Could not read " + path + " (1st request)");
    return;
  }
  const TSourceView& view = *firstsource_;
  host_.setsourcetext(view.text);
  log("Received " + std::to_string(view.length) + " Bytes (1st request)");
  logs_.logdatanocr("Number of Bytes in Result: " + std::to_string(view.length) +
                    " Bytes (1st request)");
}
