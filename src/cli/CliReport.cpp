#include "cli/CliReport.h"

#include <cstdio>

#include "cli/CliMerge.h"
#include "report/Baseline.h"
#include "report/StoredResult.h"

namespace {

void complain(const std::string& text) {
  std::fprintf(stderr, "pressbolt-cli: %s\n", printable(text).c_str());
}

std::string number(double v) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", v);
  return text;
}

}  // namespace

int runreport(const TCliJob& job) {
  const TStoredResult& r = *job.reportresult;
  return writeresults(job, r.records, r.logs, r.charts, r.info, r.figures);
}

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
  complain("--max-regression " + number(*job.maxregression) +
           " %: slower than the baseline: " + figures);
  return false;
}
