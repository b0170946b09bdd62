#pragma once
// Running a checked job: the engine on the loop with progress, signals and time-out, then every
// output written and the exit status worked out.

#include <string>

#include "cli/CliJob.h"
#include "report/RunFigures.h"

struct TCliOutcome {
  int status = 0;         // the exit status (see TExitStatus)
  std::string resultdir;  // where the log files and temp.htm went, with a trailing "/"
};

TCliOutcome runjob(const TCliJob& job);

// True when every run keeps the job's limits (--max-error-rate and the others); each run over a
// limit is named on stderr.
bool withinlimits(const TCliJob& job, const TTestFigures& figures);
