#pragma once
// --merge: the JSON results of a split test's segments folded into the result one process would
// have written, with the same outputs as a test (Results text, log file, JSON, CSV, HTML) and the
// same thresholds.

#include "cli/CliJob.h"

// Returns the exit status: kExitBadInput when a file cannot be read or the files are not the
// segments of one test (each problem named on stderr).
int runmerge(const TCliJob& job);
