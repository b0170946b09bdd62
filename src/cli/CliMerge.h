#pragma once
// --merge: the JSON results of a split test's segments folded into the result one process would
// have written, with the same outputs as a test (Results text, log file, JSON, CSV, HTML) and the
// same thresholds.

#include "cli/CliJob.h"
#include "report/RunFigures.h"
#include "results/ChartModel.h"
#include "results/LogModel.h"
#include "results/RequestRecords.h"
#include "stored/ReportInfo.h"

// Returns the exit status: kExitBadInput when a file cannot be read or the files are not the
// segments of one test (each problem named on stderr).
int runmerge(const TCliJob& job);

// Writes a finished result that needs no test: the Results text (with the comparison of
// --baseline) to stdout, the log file of --output-dir, JSON, CSV and HTML; then the limits.
// Makes --output-dir when it is missing. Returns the exit status; kExitBadInput, with nothing
// written or made, when the result cannot be compared with the baseline.
int writeresults(const TCliJob& job, const TRequestRecords& records, const TLogModel& logs,
                 const TChartModel& charts, const TReportInfo& info, const TTestFigures& figures);
