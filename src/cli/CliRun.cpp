#include "cli/CliRun.h"

#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <sstream>

#include "cli/CliHost.h"
#include "cli/CliJob.h"
#include "cli/CliSegment.h"
#include "cli/Progress.h"
#include "cli/Signals.h"
#include "cli/WriteResults.h"
#include "engine/LoadEngine.h"
#include "net/FdLimit.h"
#include "report/JsonReport.h"
#include "report/RunFigures.h"
#include "report/TestInfo.h"
#include "results/Clock.h"
#include "segments/SegmentOption.h"
#include "segments/StartTime.h"

namespace {

const char* signalname(int sig) {
  switch (sig) {
    case SIGINT:
      return "Ctrl-C";
    case SIGTERM:
      return "SIGTERM";
    case SIGHUP:
      return "SIGHUP";
    default:
      return "a signal";
  }
}

}  // namespace

TCliOutcome runjob(const TCliJob& job) {
  TCliOutcome outcome;
  raisefdlimit();
  TEventLoop& loop = TEventLoop::Default();
  TCliHost host(loop, job.settings, job.urls);
  // Only the machine-readable outputs and the limits look at the single requests.
  const unsigned needs = outputneeds(job);
  host.keeprecords((needs & kNeedsRecords) != 0);
  host.reportruns(!job.quiet && !isatty(STDERR_FILENO));
  TLogModel logs;
  TChartModel charts;
  TLoadEngine engine(host, logs, charts, loop);
  engine.setabortfinishes(true);
  engine.setsegment(job.segment, job.segments);
  if (!job.outputdir.empty()) engine.setoutputdir(job.outputdir);

  TReportInfo info = starttestinfo(job.settings, job.urls);
  // The outputs give the body's length; a body held apart from postdata is measured here.
  if (job.settings.sharedpost) info.postbytes = int64_t(job.settings.sharedpost->size());
  info.segment = job.segment;
  info.segments = job.segments;
  // Every segment of one split test must carry the same id, so it is derived, not drawn.
  if (job.segments > 1) info.testid = segmenttestid(jsonsettings(info), job.segments, job.startat);
  TCliSegment segment(job);
  segment.prepare(engine, loop);

  bool timedout = false;
  bool waited = false;  // the start came (at once, or at --start-at)
  {
    // A signal after the last run completed finds a finished test: nothing is left to abort.
    TSignalAbort signals(loop, [&engine, &host] {
      if (!host.finished()) engine.abort();
    });
    TTimer timeout(loop);
    if (job.timeout) {
      timeout.Start(static_cast<uint64_t>(*job.timeout * 1000), [&] {
        timedout = true;
        engine.abort();
      });
    }
    TProgress progress(loop, engine, job.settings.runs, !job.quiet && isatty(STDERR_FILENO));
    // The time-out bounds the whole program, the wait for the start included.
    auto cancelled = [&timedout] { return timedout || TSignalAbort::caught() != 0; };
    if (job.startat && !job.quiet) {
      std::fprintf(stderr, "pressbolt-cli: waiting for the start at %s\n",
                   rfc3339(*job.startat).c_str());
    }
    if (!job.startat || waituntil(loop, *job.startat, cancelled)) {
      waited = true;
      segment.started();
      engine.start();
      info.epochms = testepochms(engine.facts());
      // From the start instant itself: a second clock read apart may still be in the second
      // before it. The two clocks mixed in epochms may land a hair before --start-at.
      info.started =
          utcsecond(job.startat ? std::max(info.epochms, double(*job.startat)) : info.epochms);
      if (host.errors() == 0 || engine.phase() != TLoadEngine::TPhase::idle) {
        while (!host.ended() && loop.RunOnce(true)) {
        }
      }
    }
    progress.finish();
  }
  loop.RunOnce(false);  // lets the closed handles go
  outcome.resultdir = engine.resultdir();
  if (!host.finished()) {
    if (TSignalAbort::caught() != 0) {
      if (!waited) {
        complain(std::string("test aborted by ") + signalname(TSignalAbort::caught()) +
                 " before the start at " + rfc3339(*job.startat) + "; nothing was sent");
      }
      outcome.status = kExitSignalBase + TSignalAbort::caught();
    } else if (timedout && job.startat) {
      complain("--timeout " + number(*job.timeout) + " s passed before the start at " +
               rfc3339(*job.startat) + "; nothing was sent");
      outcome.status = kExitTimeout;
    } else {
      // Input the engine's own start checks refused (a line break in a request field, an output
      // directory that cannot be written) is bad input like any other.
      outcome.status = engine.refused ? kExitBadInput : kExitNotStarted;
    }
    return outcome;
  }
  endtestinfo(info, engine.facts());
  segment.describe(info);
  const TTestFigures figures =
      (needs & kNeedsFigures) != 0 ? testfigures(host.records()) : TTestFigures();
  TOutputSource source(info, host.records(), logs, charts, figures);
  // A pod's log holds more than the JSON: the frame keeps it whole among other lines.
  source.stdoutjson = [&segment, &info](const std::string& json) {
    return segment.stdoutresult(info, json);
  };
  TResultsWritten written = writeresults(job, source, true);
  // The engine reported every log file it could not save through its dialog.
  if (engine.savefailed || host.errors() != 0) written.written = false;

  // A signal that came after the last run completed aborted nothing: the test is finished.
  const int sig = info.aborted ? TSignalAbort::caught() : 0;
  if (sig != 0) {
    complain(std::string("test aborted by ") + signalname(sig) +
             "; the completed runs are written");
  } else if (timedout) {
    complain("test aborted after --timeout " + number(*job.timeout) +
             " s; the completed runs are written");
  }
  outcome.status = exitstatus(written, sig != 0   ? kExitSignalBase + sig
                                       : timedout ? int(kExitTimeout)
                                                  : int(kExitOk));
  return outcome;
}
