#include "cli/CliRun.h"

#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <sstream>

#include "cli/CliHost.h"
#include "cli/CliJob.h"
#include "cli/CliReport.h"
#include "cli/CliSegment.h"
#include "cli/Progress.h"
#include "cli/Signals.h"
#include "engine/LoadEngine.h"
#include "net/FdLimit.h"
#include "report/CsvReport.h"
#include "report/HtmlReport.h"
#include "report/JsonReport.h"
#include "report/OutputFile.h"
#include "report/RunFigures.h"
#include "report/TestInfo.h"
#include "results/Clock.h"
#include "segments/SegmentOption.h"
#include "segments/StartTime.h"

namespace {

void complain(const std::string& text) {
  std::fprintf(stderr, "pressbolt-cli: %s\n", printable(text).c_str());
}

std::string number(double v) {
  std::ostringstream s;
  s << v;
  return s.str();
}

// The figures sort every run's times: worked out only for an output or a limit that uses them.
bool needfigures(const TCliJob& job) {
  return !job.json.empty() || !job.html.empty() || job.maxerrorrate || job.maxavgwait ||
         job.maxp99wait || job.maxp99server || job.baselineresult;
}

}  // namespace

bool withinlimits(const TCliJob& job, const TTestFigures& figures) {
  bool ok = true;
  for (const TRunFigures& f : figures.runs) {
    if (f.requests == 0) continue;
    const std::string run = "run " + std::to_string(f.run) + ": ";
    if (job.maxerrorrate && f.errorrate > *job.maxerrorrate) {
      complain(run + "error rate " + number(f.errorrate) + " % exceeds --max-error-rate " +
               number(*job.maxerrorrate));
      ok = false;
    }
    if (job.maxavgwait && f.avgwait > *job.maxavgwait) {
      complain(run + "average wait " + number(f.avgwait) + " ms exceeds --max-avg-wait " +
               number(*job.maxavgwait));
      ok = false;
    }
    if (job.maxp99wait && f.wait.p99 > *job.maxp99wait) {
      complain(run + "99th percentile wait " + number(f.wait.p99) + " ms exceeds --max-p99-wait " +
               number(*job.maxp99wait));
      ok = false;
    }
    // A run without a single stamped response has no server time to hold against the limit.
    if (job.maxp99server && f.server.count > 0 && f.server.p99 > *job.maxp99server) {
      complain(run + "99th percentile server time " + number(f.server.p99) +
               " ms exceeds --max-p99-server " + number(*job.maxp99server));
      ok = false;
    }
  }
  return ok;
}

namespace {

std::string resultstext(const TLogModel& logs) {
  std::string text;
  for (const auto& line : logs.resultlines()) text += line.text + "\n";
  return text;
}

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
  host.keeprecords(!job.json.empty() || !job.requestscsv.empty() || needfigures(job));
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
      info.epochms = testepochms(engine);
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
  // The engine reported every log file it could not save through its dialog.
  bool written = !engine.savefailed && host.errors() == 0;

  endtestinfo(info, engine);
  segment.describe(info);
  const TTestFigures figures = needfigures(job) ? testfigures(host.records()) : TTestFigures();
  std::string error;
  auto write = [&](const std::string& path, const std::string& bytes) {
    if (path.empty()) return;
    if (!writeoutput(path, bytes, error)) {
      complain(error);
      written = false;
    }
  };
  std::string json =
      !job.json.empty() || job.baselineresult ? jsonreport(info, host.records(), figures) : "";
  const TBaselineReport baseline = baselinereport(job, json);
  if (baseline.compared) json = baseline.json;
  if (!job.quiet) {
    if (job.stdoutoutput) {
      std::fputs((resultstext(logs) + baseline.text).c_str(), stderr);
    } else {
      write("-", resultstext(logs) + baseline.text);
    }
  }
  if (!job.json.empty()) {
    // A pod's log holds more than the JSON: the frame keeps it whole among other lines.
    if (outputdescriptor(job.json) == STDOUT_FILENO) json = segment.stdoutresult(info, json);
    write(job.json, json);
  }
  if (!job.requestscsv.empty()) write(job.requestscsv, csvreport(host.records()));
  if (!job.html.empty()) {
    write(job.html, htmlreport(info, logs, charts, figures, host.records(), baseline.html));
  }
  TSignalAbort::resultswritten();
  // Both are judged, so each limit that failed says so.
  const bool limits = withinlimits(job, figures);
  const bool regression = withinregression(job, baseline);
  const bool limitsok = limits && regression;

  // A signal that came after the last run completed aborted nothing: the test is finished.
  const int sig = info.aborted ? TSignalAbort::caught() : 0;
  if (sig != 0) {
    complain(std::string("test aborted by ") + signalname(sig) +
             "; the completed runs are written");
  } else if (timedout) {
    complain("test aborted after --timeout " + number(*job.timeout) +
             " s; the completed runs are written");
  }
  if (!written) {
    outcome.status = kExitNotWritten;
  } else if (sig != 0) {
    outcome.status = kExitSignalBase + sig;
  } else if (timedout) {
    outcome.status = kExitTimeout;
  } else if (!limitsok) {
    outcome.status = kExitThreshold;
  } else {
    outcome.status = kExitOk;
  }
  return outcome;
}
