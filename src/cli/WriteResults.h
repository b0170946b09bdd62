#pragma once
// The end of every way pressbolt-cli runs (a test, a merge, a stored result): the finished result
// compared with --baseline, its "Results" text, every output of the table (cli/OutputTable) and the
// limits judged, by one routine, so that each way writes the same outputs the same way.

#include <string>
#include <vector>

#include "cli/CliJob.h"
#include "cli/OutputTable.h"

struct TBaselineReport {
  bool compared = false;  // false without --baseline, or when the result cannot be read back
  std::string json;       // the result's JSON with its "baseline" member
  std::string text;       // printed after the "Results" text
  std::string html;       // the HTML report's section
  std::vector<std::string> regressed;  // what got worse than --max-regression allows
};

// json: the finished result's JSON, as jsonreport wrote it. Both sides are compared as read back
// from their JSON, so with the same rounding and the same figures (server times included).
TBaselineReport baselinereport(const TCliJob& job, const std::string& json);

// False after one line on stderr naming each figure that got worse than --max-regression allows.
bool withinregression(const TCliJob& job, const TBaselineReport& b);

// True when every run keeps the job's limits (--max-error-rate and the others); each run over a
// limit is named on stderr.
bool withinlimits(const TCliJob& job, const TTestFigures& figures);

// What the job's outputs, limits and comparison need of a test's requests (TOutputNeeds); the
// figures bring the records with them.
unsigned outputneeds(const TCliJob& job);

struct TResultsWritten {
  bool refused = false;  // the result cannot be compared with the baseline, or --output-dir
                         // cannot be made: nothing was written
  bool written = true;   // every output reached its file
  bool withinlimits = true;
};

// Writes a finished result: the "Results" text (with the comparison of --baseline) to stdout, or
// to stderr when an output takes stdout; then each output the job names. logfilessaved: a test's
// engine has made --output-dir and saved the log files there; otherwise (a merge, a stored result)
// the directory is made now and the "Results" log file written into it. Then the limits.
TResultsWritten writeresults(const TCliJob& job, TOutputSource& source, bool logfilessaved);

// The exit status: kExitBadInput when refused, kExitNotWritten when an output failed, else
// abortstatus when the test was cut short (a signal, --timeout), kExitThreshold when a limit was
// passed, kExitOk.
int exitstatus(const TResultsWritten& w, int abortstatus = kExitOk);
