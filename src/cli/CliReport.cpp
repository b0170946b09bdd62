#include "cli/CliReport.h"

#include "cli/WriteResults.h"
#include "report/StoredResult.h"

int runreport(const TCliJob& job) {
  const TStoredResult& r = *job.reportresult;
  TOutputSource source(r.info, r.records, r.logs, r.charts, r.figures);
  return exitstatus(writeresults(job, source, false));
}
