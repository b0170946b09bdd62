#include "cli/WriteResults.h"

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <sstream>

#include "cli/Signals.h"
#include "report/Baseline.h"
#include "report/OutputFile.h"
#include "report/StoredResult.h"
#include "results/LogFile.h"

TBaselineReport baselinereport(const TCliJob& job, const std::string& json) {
  TBaselineReport b;
  if (!job.baselineresult) return b;
  TStoredResult now;
  std::string error;
  if (!parsestoredresult("this test's JSON", json, now, error)) {
    complain("--baseline: cannot compare: " + error);
    return b;
  }
  const TBaselineComparison c = comparebaseline(*job.baselineresult, now);
  b.compared = true;
  b.json = withbaseline(json, baselinejson(c, job.maxregression));
  b.text = baselinetext(c);
  b.html = baselinehtml(c);
  if (job.maxregression) b.regressed = regressions(c, *job.maxregression);
  return b;
}

bool withinregression(const TCliJob& job, const TBaselineReport& b) {
  // A limit that could not be checked is not kept.
  if (job.baselineresult && job.maxregression && !b.compared) return false;
  if (b.regressed.empty()) return true;
  std::string figures;
  for (const std::string& r : b.regressed) figures += (figures.empty() ? "" : "; ") + r;
  char limit[32];
  std::snprintf(limit, sizeof limit, "%g", *job.maxregression);
  complain("--max-regression " + std::string(limit) + " %: slower than the baseline: " + figures);
  return false;
}

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

unsigned outputneeds(const TCliJob& job) {
  unsigned needs = 0;
  for (const TOutputFormat& f : outputformats()) {
    if (!job.output(f.option).empty()) needs |= f.needs;
  }
  if (job.maxerrorrate || job.maxavgwait || job.maxp99wait || job.maxp99server ||
      job.baselineresult) {
    needs |= kNeedsFigures;
  }
  if ((needs & kNeedsFigures) != 0) needs |= kNeedsRecords;
  return needs;
}

TResultsWritten writeresults(const TCliJob& job, TOutputSource& source, bool logfilessaved) {
  TResultsWritten w;
  if (job.baselineresult) {
    const std::string problem = baselinemismatch(job.baselineresult->info, source.info.settings);
    if (!problem.empty()) {
      complain("--baseline: cannot compare with \"" + job.baseline + "\": " + problem);
      w.refused = true;
      return w;
    }
  }
  const TBaselineReport baseline =
      job.baselineresult ? baselinereport(job, source.json()) : TBaselineReport();
  if (baseline.compared) {
    source.setjson(baseline.json);
    source.baselinehtml = baseline.html;
  }
  // Made only now: a merge or a comparison that was refused leaves no trace.
  if (!logfilessaved && !job.outputdir.empty()) {
    std::error_code ec;
    std::filesystem::create_directories(job.outputdir, ec);
    if (ec) {
      complain("--output-dir: cannot create \"" + job.outputdir + "\": " + ec.message());
      w.refused = true;
      return w;
    }
  }
  std::string error;
  auto write = [&](const std::string& path, const std::string& bytes) {
    if (!writeoutput(path, bytes, error)) {
      complain(error);
      w.written = false;
    }
  };
  std::string text;
  for (const auto& line : source.logs.resultlines()) text += line.text + "\n";
  text += baseline.text;
  if (!job.quiet) {
    if (job.stdoutoutput) {
      std::fputs(text.c_str(), stderr);
    } else {
      write("-", text);
    }
  }
  if (!logfilessaved && !job.outputdir.empty()) {
    const std::string path = job.outputdir + "/" + resultsfilename;
    if (!saveresults(path, source.logs.resultlines(), error)) {
      complain(error);
      w.written = false;
    }
  }
  for (const TOutputFormat& f : outputformats()) {
    const std::string path = job.output(f.option);
    if (!path.empty()) write(path, f.bytes(source, outputdescriptor(path) == STDOUT_FILENO));
  }
  TSignalAbort::resultswritten();
  // Both are judged, so each limit that failed says so.
  const bool limits = withinlimits(job, source.figures);
  const bool regression = withinregression(job, baseline);
  w.withinlimits = limits && regression;
  return w;
}

int exitstatus(const TResultsWritten& w, int abortstatus) {
  if (w.refused) return kExitBadInput;
  if (!w.written) return kExitNotWritten;
  if (abortstatus != kExitOk) return abortstatus;
  return w.withinlimits ? kExitOk : kExitThreshold;
}
