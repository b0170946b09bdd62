#pragma once
// Running a checked job: the engine on the loop with progress, signals and time-out, then its
// outputs written (cli/WriteResults) and the exit status worked out.

#include <string>

#include "cli/CliJob.h"

struct TCliOutcome {
  int status = 0;         // the exit status (see TExitStatus)
  std::string resultdir;  // where the log files and temp.htm went, with a trailing "/"
};

TCliOutcome runjob(const TCliJob& job);
